#include <gtest/gtest.h>

#include <string>

#include "PushDisplay/TestPatterns.h"
#include "tests/PushDisplay/ScreenPicture.h"

namespace corvane {
namespace {

using testing::Picture;

constexpr DisplayColor black{0, 0, 0};
constexpr DisplayColor white{255, 255, 255};

TEST(TestPatternsTest, ColourBarsBarsRampAndFrame) {
    Canvas canvas;
    TestPatterns::colorBars(canvas, PixelOrder::rgb565);
    testing::preview(canvas, "pattern-colorbars");
    const Picture picture(canvas);

    EXPECT_EQ(picture.at(0, 0), white);
    EXPECT_EQ(picture.at(959, 159), white);
    EXPECT_EQ(picture.at(959, 0), white);
    EXPECT_EQ(picture.at(0, 159), white);
    EXPECT_EQ(picture.at(5, 5), DisplayColor(255, 0, 0));
    EXPECT_EQ(picture.at(118, 50), black);
    for (int k = 0; k < 8; ++k) {
        const DisplayColor color = TestPatterns::colorBarNames[static_cast<std::size_t>(k)].second;
        EXPECT_EQ(picture.inkOf(color, {120.0 * k, 2, 120, 100}).minX, 120 * k + 4) << k;
        EXPECT_EQ(picture.inkOf(color, {120.0 * k, 2, 120, 100}).maxX, 120 * k + 115) << k;
        EXPECT_EQ(picture.count(color, {120.0 * k + 4, 4, 112, 96}), 112 * 96) << k;
        EXPECT_EQ(picture.at(120 * k + 3, 50), black) << k;
        EXPECT_EQ(picture.strongest({120.0 * k, 104, 120, 20}, black), white) << k;
    }

    for (auto [x, v] : {std::pair{1, 0}, {4, 1}, {480, 127}, {958, 254}}) {
        EXPECT_EQ(picture.at(x, 130), DisplayColor(v, v, v)) << x;
        EXPECT_EQ(picture.at(x, 141), DisplayColor(v, v, v)) << x;
    }
    for (int x = 1; x < 959; ++x) {
        const auto v = static_cast<std::uint8_t>(x * 255 / 959);
        ASSERT_EQ(picture.at(x, 136), DisplayColor(v, v, v)) << x;
    }
    EXPECT_EQ(picture.at(480, 129), black);
    EXPECT_EQ(picture.at(480, 142), black);

    const Rect caption{1, 143, 700, 16};
    EXPECT_NEAR(picture.ink(caption, black).width(),
                canvas.textWidth("pixel order under test: rgb565", canvas.font(12)), 2);
    EXPECT_EQ(picture.strongest(caption, black), DisplayColor::hex(0xC8C8C8));
}

TEST(TestPatternsTest, SweepStageBarsAndTexts) {
    Canvas canvas;
    TestPatterns::sweepStage(canvas, 3, 6, 7.5, PixelOrder::bgr565);
    testing::preview(canvas, "pattern-sweep");
    const Picture picture(canvas);

    EXPECT_EQ(picture.at(5, 10), DisplayColor(255, 0, 0));
    EXPECT_EQ(picture.at(58, 10), black);
    EXPECT_EQ(picture.at(0, 0), black);  // no frame on the sweep
    for (int k = 0; k < 8; ++k) {
        const DisplayColor color = TestPatterns::colorBarNames[static_cast<std::size_t>(k)].second;
        EXPECT_EQ(picture.count(color, {60.0 * k + 3, 6, 54, 118}), 54 * 118) << k;
    }
    EXPECT_TRUE(picture.ink({480, 0, 20, 160}, black).empty());

    const Rect stage{500, 14, 460, 40};
    const testing::Box stageInk = picture.ink(stage, black);
    EXPECT_NEAR(stageInk.width(), canvas.textWidth("STAGE 3 / 6", canvas.font(30, FontWeight::bold)), 2);
    EXPECT_NEAR(stageInk.midX(), 730, 1.5);
    EXPECT_EQ(picture.strongest(stage, black), DisplayColor::hex(0xFFC800));

    const Rect fps{500, 60, 460, 60};
    EXPECT_NEAR(picture.ink(fps, black).width(),
                canvas.textWidth("7.5 FPS", canvas.font(52, FontWeight::bold, true)), 8);
    EXPECT_EQ(picture.strongest(fps, black), white);

    const Rect order{500, 126, 460, 24};
    EXPECT_NEAR(picture.ink(order, black).width(), canvas.textWidth("order: bgr565", canvas.font(13)), 2);
    EXPECT_EQ(picture.strongest(order, black), DisplayColor::hex(0xA0A0A0));
}

TEST(TestPatternsTest, FrameRatesPrintInTheirShortestForm) {
    EXPECT_EQ(TestPatterns::fpsText(30), "30 FPS");
    EXPECT_EQ(TestPatterns::fpsText(7.5), "7.5 FPS");
    EXPECT_EQ(TestPatterns::fpsText(0.5), "0.5 FPS");
    EXPECT_EQ(TestPatterns::fpsText(59.94), "59.94 FPS");
    EXPECT_EQ(TestPatterns::fpsText(1.0 / 3), "0.333333 FPS");
    EXPECT_EQ(TestPatterns::fpsText(1e7), "1e+07 FPS");
}

}  // namespace
}  // namespace corvane
