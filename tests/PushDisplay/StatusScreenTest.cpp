#include <gtest/gtest.h>

#include <string>

#include "PushDisplay/StatusScreen.h"
#include "tests/PushDisplay/ScreenPicture.h"
#include "tests/PushDisplay/StatusDot.h"

namespace corvane {
namespace {

using testing::Box;
using testing::Picture;
using testing::expectDot;

TEST(StatusModelTest, StatusTextColourAndInfoLine) {
    StatusModel model;
    EXPECT_EQ(model.statusText(), "Waiting for Cubase\u2026");
    EXPECT_EQ(model.statusColor(), Theme::warn);
    EXPECT_EQ(model.infoLine(), "bridge ");

    model.cubaseConnected = true;
    model.hostDescription = "Cubase Pro 13.0.41";
    model.scriptVersion = "0.4.3";
    model.bridgeVersion = "0.4.3";
    EXPECT_EQ(model.statusText(), "Cubase Connected");
    EXPECT_EQ(model.statusColor(), Theme::ok);
    EXPECT_EQ(model.infoLine(), "Cubase Pro 13.0.41  \u00B7  script 0.4.3  \u00B7  bridge 0.4.3");

    model.scriptVersion.clear();
    EXPECT_EQ(model.infoLine(), "Cubase Pro 13.0.41  \u00B7  bridge 0.4.3");
    model.hostDescription.clear();
    model.scriptVersion = "1.0";
    EXPECT_EQ(model.infoLine(), "script 1.0  \u00B7  bridge 0.4.3");

    // A problem wins over the connection, and an empty problem text is still a problem.
    model.protocolProblem = "Version mismatch";
    EXPECT_EQ(model.statusText(), "Version mismatch");
    EXPECT_EQ(model.statusColor(), Theme::error);
    model.protocolProblem = "";
    EXPECT_EQ(model.statusColor(), Theme::error);
}

class StatusScreenTest : public ::testing::Test {
protected:
    Picture draw(const std::string& name) {
        StatusScreen::draw(canvas, model);
        testing::preview(canvas, "status-" + name);
        return Picture(canvas);
    }
    static constexpr Rect hintArea{0, 118, 590, 30};
    static constexpr Rect dotArea{20, 62, 24, 24};

    Canvas canvas;
    StatusModel model;
};

TEST_F(StatusScreenTest, DefaultWaitsForCubaseWithTheHint) {
    canvas.clear(DisplayColor(255, 0, 0));  // whatever was there before is painted over
    const Picture picture = draw("default");
    EXPECT_EQ(picture.count(DisplayColor(255, 0, 0)), 0);

    const Box title = picture.ink({0, 0, 590, 56});
    EXPECT_GE(title.minX, 24);
    EXPECT_NEAR(title.width(), canvas.textWidth("CORVANE", canvas.font(30, FontWeight::bold)), 3);
    EXPECT_EQ(picture.strongest({0, 0, 590, 56}), Theme::text);

    expectDot(picture, dotArea, Theme::warn, 26, 68);

    const Rect statusArea{46, 60, 540, 28};
    EXPECT_EQ(picture.strongest(statusArea), Theme::warn);
    EXPECT_NEAR(picture.ink(statusArea).width(),
                canvas.textWidth("Waiting for Cubase\u2026", canvas.font(20, FontWeight::semibold)), 2);

    const Rect infoArea{0, 92, 590, 22};
    EXPECT_NEAR(picture.ink(infoArea).width(), canvas.textWidth("bridge", canvas.font(13)), 2);
    EXPECT_EQ(picture.strongest(infoArea), Theme::textDim);

    EXPECT_EQ(picture.strongest(hintArea), Theme::textFaint);
    EXPECT_NEAR(picture.ink(hintArea).width(),
                canvas.textWidth("Enable the \"Tessaly\" MIDI Remote in Cubase", canvas.font(13)), 2);

    // The panel is drawn, and empty.
    EXPECT_EQ(picture.inkOf(Theme::panel).minX, 600);
    EXPECT_EQ(picture.inkOf(Theme::panel).maxX, 949);
    EXPECT_EQ(picture.inkOf(Theme::panel).minY, 10);
    EXPECT_EQ(picture.inkOf(Theme::panel).maxY, 149);
    EXPECT_TRUE(picture.ink({604, 14, 342, 132}, Theme::panel).empty());
}

TEST_F(StatusScreenTest, ConnectedIsGreenWithAllVersionsAndNoHint) {
    model.cubaseConnected = true;
    model.hostDescription = "Cubase Pro 13.0.41";
    model.scriptVersion = "0.4.3";
    model.bridgeVersion = "0.4.3";
    const Picture picture = draw("connected");
    expectDot(picture, dotArea, Theme::ok, 26, 68);
    EXPECT_EQ(picture.count(Theme::warn), 0);
    EXPECT_NEAR(picture.ink({0, 92, 590, 22}).width(), canvas.textWidth(model.infoLine(), canvas.font(13)), 2);
    EXPECT_TRUE(picture.ink(hintArea).empty());
}

TEST_F(StatusScreenTest, AProblemWinsAndIsCutToItsLine) {
    model.protocolProblem = std::string(200, 'W');
    const Picture picture = draw("problem");
    expectDot(picture, dotArea, Theme::error, 26, 68);
    EXPECT_EQ(picture.count(Theme::warn), 0);
    const Box status = picture.ink({40, 60, 560, 28});
    EXPECT_GE(status.minX, 45);
    EXPECT_LE(status.maxX, 46 + 520);
    EXPECT_GT(status.maxX, 46 + 520 - canvas.textWidth("WW\u2026", canvas.font(20, FontWeight::semibold)));
    EXPECT_TRUE(picture.ink(hintArea).empty());  // no hint though Cubase is not connected
}

TEST_F(StatusScreenTest, DiagnosticsFillEightRowsOfThePanel) {
    for (int i = 0; i < 10; ++i) model.diagnostics.push_back("line " + std::to_string(i));
    model.diagnostics[2] = "";
    model.diagnostics[0] = std::string(100, 'x');
    const Picture picture = draw("diagnostics");
    auto row = [&](int i) { return picture.ink({604, 18 + 16.0 * i, 342, 16}, Theme::panel); };
    for (int i = 0; i < 8; ++i) {
        if (i == 2) {
            EXPECT_TRUE(row(i).empty());
        } else {
            EXPECT_FALSE(row(i).empty()) << i;
            EXPECT_GE(row(i).minX, 611) << i;
            // Thin strokes at this size never quite reach the full colour.
            EXPECT_LE(testing::distance(picture.strongest({604, 18 + 16.0 * i, 342, 16}, Theme::panel), Theme::textDim),
                      12)
                << i;
        }
    }
    EXPECT_LE(row(0).maxX, 612 + 326);  // the long line is cut inside the panel
    EXPECT_TRUE(picture.ink({600, 150, 360, 10}).empty());  // a ninth row would sit here
    EXPECT_NEAR(row(1).width(), canvas.textWidth("line 1", canvas.font(11, FontWeight::regular, false, true)), 2);
}

}  // namespace
}  // namespace corvane
