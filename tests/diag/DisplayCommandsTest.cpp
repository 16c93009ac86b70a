#include <gtest/gtest.h>

#include "PushDisplay/Canvas.h"
#include "PushDisplay/FrameEncoder.h"
#include "PushDisplay/TestPatterns.h"
#include "corvane_diag/DisplayCommands.h"
#include "tests/diag/DiagHarness.h"

namespace corvane {
namespace {

using Lines = std::vector<std::string>;

// The pixel block of colour bars captioned with `caption`, encoded in `order`.
std::vector<std::uint8_t> colorBars(PixelOrder caption, PixelOrder order) {
    Canvas canvas;
    TestPatterns::colorBars(canvas, caption);
    PushFrame frame;
    canvas.withPixels([&](std::span<const std::uint8_t> pixels, std::size_t bytesPerRow) {
        FrameEncoder(order).encode(pixels, bytesPerRow, frame);
    });
    return frame.bytes;
}

bool startsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

class DisplayCommandsTest : public ::testing::Test {
protected:
    DiagHarness diag;
};

TEST_F(DisplayCommandsTest, DisplayTestSendsTheSameColourBarsForItsTime) {
    diag.usb->plug();
    EXPECT_EQ(diag.run({"display-test", "--order", "rgb565", "--seconds", "0.2", "--fps", "50"}), 0);
    ASSERT_EQ(diag.lines.size(), 3u);
    EXPECT_TRUE(startsWith(diag.lines[0], "opened Push display (PID 0x1969), encode ")) << diag.lines[0];
    EXPECT_TRUE(diag.lines[0].ends_with(" ms"));
    EXPECT_TRUE(startsWith(diag.lines[1], "first frame transfer: ")) << diag.lines[1];
    const auto frames = diag.usb->frames();
    EXPECT_EQ(diag.lines[2], "done, " + std::to_string(frames.size()) + " frames sent");
    ASSERT_GE(frames.size(), 2u);
    const auto expected = colorBars(PixelOrder::rgb565, PixelOrder::rgb565);
    for (const auto& frame : frames) {
        EXPECT_TRUE(frame.headerIsValid());
        EXPECT_TRUE(frame.pixels == expected);
    }
    EXPECT_EQ(diag.usb->openInterfaces(), 0);  // closed at the end
}

TEST_F(DisplayCommandsTest, AnUnknownOrderIsBGRAndNoTimeSendsNothing) {
    diag.usb->plug();
    EXPECT_EQ(diag.run({"display-test", "--order", "rgb656", "--seconds", "0.05"}), 0);
    ASSERT_GE(diag.usb->frameCount(), 1u);
    EXPECT_TRUE(diag.usb->lastFrame()->pixels == colorBars(PixelOrder::bgr565, PixelOrder::bgr565));

    diag.usb->clearRecords();
    diag.lines.clear();
    EXPECT_EQ(diag.run({"display-test", "--seconds", "0"}), 0);
    ASSERT_EQ(diag.lines.size(), 2u);
    EXPECT_EQ(diag.lines[1], "done, 0 frames sent");
    EXPECT_EQ(diag.usb->frameCount(), 0u);
}

TEST_F(DisplayCommandsTest, FailuresEndWithTheDisplaysError) {
    EXPECT_EQ(diag.run({"display-test"}), 1);
    EXPECT_EQ(diag.run({"display-sweep"}), 1);
    EXPECT_EQ(diag.lines,
              (Lines{"error: Push display interface not found", "error: Push display interface not found"}));

    diag.usb->plug();
    diag.usb->failTransfers("LIBUSB_ERROR_PIPE", SimulatedUSBDisplay::always);
    diag.lines.clear();
    EXPECT_EQ(diag.run({"display-test", "--seconds", "1"}), 1);
    ASSERT_EQ(diag.lines.size(), 2u);
    EXPECT_TRUE(startsWith(diag.lines[1], "error: ")) << diag.lines[1];
    EXPECT_NE(diag.lines[1].find("LIBUSB_ERROR_PIPE"), std::string::npos) << diag.lines[1];
}

TEST_F(DisplayCommandsTest, RatesThatArePausesOfNoLengthAreRefused) {
    diag.usb->plug();
    EXPECT_EQ(diag.run({"display-test", "--fps", "0"}), 1);
    EXPECT_EQ(diag.run({"display-sweep", "--rates", "30,-1"}), 1);
    EXPECT_EQ(diag.usb->opens(), 0);
}

TEST_F(DisplayCommandsTest, RatesTooSlowForAPauseToHoldAreRefusedLikeZero) {
    diag.usb->plug();
    EXPECT_EQ(diag.run({"display-test", "--fps", "1e-300", "--seconds", "0.05"}), 1);
    EXPECT_EQ(diag.run({"display-sweep", "--rates", "30,1e-300", "--stage-seconds", "0.05"}), 1);
    EXPECT_EQ(diag.usb->opens(), 0);
    EXPECT_EQ(diag.lines, (Lines{"error: --fps must be a number of frames a second, at least 0.000000001",
                                 "error: --rates must list frame rates of at least 0.000000001"}));
    // The slowest rate there is passes.
    diag.lines.clear();
    EXPECT_EQ(diag.run({"display-test", "--fps", "0.000000001", "--seconds", "0"}), 0);
    EXPECT_EQ(diag.lines.back(), "done, 0 frames sent");
}

TEST_F(DisplayCommandsTest, SweepRunsOneStageARate) {
    diag.usb->plug();
    EXPECT_EQ(diag.run({"display-sweep", "--rates", "30,,x,15", "--stage-seconds", "0.1"}), 0);
    ASSERT_EQ(diag.lines.size(), 4u);
    EXPECT_EQ(diag.lines[0], "stage 1: 30.0 fps for 0.1 s");
    EXPECT_TRUE(startsWith(diag.lines[1], "  worst transfer ")) << diag.lines[1];
    EXPECT_EQ(diag.lines[2], "stage 2: 15.0 fps for 0.1 s");
    // Paced to the rate: about 3 frames at 30 fps and 2 at 15 in a tenth of a second.
    EXPECT_GE(diag.usb->frameCount(), 2u);
    EXPECT_LE(diag.usb->frameCount(), 7u);

    Canvas canvas;
    TestPatterns::sweepStage(canvas, 2, 2, 15, PixelOrder::bgr565);
    PushFrame frame;
    canvas.withPixels([&](std::span<const std::uint8_t> pixels, std::size_t bytesPerRow) {
        FrameEncoder().encode(pixels, bytesPerRow, frame);
    });
    EXPECT_TRUE(diag.usb->lastFrame()->pixels == frame.bytes);
}

TEST(RatesTest, EmptyItemsAndWordsAreLeftOut) {
    EXPECT_EQ(parseRates("30,15,10,5,3,2"), (std::vector<double>{30, 15, 10, 5, 3, 2}));
    EXPECT_EQ(parseRates("30,,x,15"), (std::vector<double>{30, 15}));
    EXPECT_EQ(parseRates("7.5"), (std::vector<double>{7.5}));
    EXPECT_TRUE(parseRates("").empty());
}

}  // namespace
}  // namespace corvane
