#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PushDisplay/SetupScreen.h"
#include "tests/PushDisplay/LabelParts.h"
#include "tests/PushDisplay/ScreenPicture.h"
#include "tests/PushDisplay/StatusDot.h"

namespace corvane {
namespace {

using testing::Picture;
using testing::lit;
using testing::texts;

TEST(SetupLabelsTest, TabsAboveAndTheOpenTabsChoicesBelow) {
    SetupState setup;
    setup.tab = SetupTab::display;
    const auto upper = SetupScreen::upperLabels(setup);
    EXPECT_EQ(texts(upper), (std::vector<std::string>{"AUDIO", "EXPRESSION", "DISPLAY", "DIAGNOSTICS", "", "", "", ""}));
    EXPECT_EQ(lit(upper), (std::vector<bool>{false, false, true, false, false, false, false, false}));
    for (const auto& label : upper) EXPECT_EQ(label.color, Theme::accent);
    EXPECT_EQ(SetupScreen::lowerLabels(setup), std::vector<ButtonLabel>(8, ButtonLabel::none));
    setup.tab = SetupTab::diagnostics;
    EXPECT_EQ(SetupScreen::lowerLabels(setup), std::vector<ButtonLabel>(8, ButtonLabel::none));

    setup.tab = SetupTab::audio;
    auto lower = SetupScreen::lowerLabels(setup);
    EXPECT_EQ(texts(lower),
              (std::vector<std::string>{"LINE", "INSTRUMENT", "HIGH", "", "LINE", "INSTRUMENT", "HIGH", ""}));
    EXPECT_EQ(lit(lower), std::vector<bool>(8, false));  // nothing known yet
    setup.preamps = {Preamp::high, Preamp::line};
    EXPECT_EQ(lit(SetupScreen::lowerLabels(setup)),
              (std::vector<bool>{false, false, true, false, true, false, false, false}));
    setup.preamps[0].reset();
    EXPECT_EQ(lit(SetupScreen::lowerLabels(setup)),
              (std::vector<bool>{false, false, false, false, true, false, false, false}));

    setup.tab = SetupTab::expression;
    lower = SetupScreen::lowerLabels(setup);
    EXPECT_EQ(texts(lower), (std::vector<std::string>{"MONO", "POLY", "MPE", "", "", "", "", ""}));
    EXPECT_EQ(lit(lower), std::vector<bool>(8, false));
    setup.aftertouch = AftertouchMode::poly;
    EXPECT_EQ(lit(SetupScreen::lowerLabels(setup)),
              (std::vector<bool>{false, true, false, false, false, false, false, false}));
}

TEST(SetupLabelsTest, BrightnessShowsAsRoundedPercentages) {
    SetupState setup;
    auto columns = SetupScreen::brightnessColumns(setup);
    EXPECT_EQ(columns[0], ParameterColumnModel("Display", "\u2014", std::nullopt, false, false, true));
    EXPECT_EQ(columns[1], ParameterColumnModel("LEDs", "\u2014", std::nullopt, false, false, true));

    setup.displayBrightness = 255;
    setup.ledBrightness = 127;
    columns = SetupScreen::brightnessColumns(setup);
    EXPECT_EQ(columns[0], ParameterColumnModel("Display", "100 %", 1.0, false, false, true));
    EXPECT_EQ(columns[1], ParameterColumnModel("LEDs", "100 %", 1.0, false, false, true));

    setup.displayBrightness = 26;  // 10.2
    setup.ledBrightness = 0;
    columns = SetupScreen::brightnessColumns(setup);
    EXPECT_EQ(columns[0].valueText, "10 %");
    EXPECT_EQ(columns[0].normalized, 0.1);
    EXPECT_EQ(columns[1].valueText, "0 %");
    setup.displayBrightness = 127;  // 49.8
    EXPECT_EQ(SetupScreen::brightnessColumns(setup)[0].valueText, "50 %");
}

class SetupScreenTest : public ::testing::Test {
protected:
    Picture draw(const std::string& name) {
        SetupScreen::draw(canvas, setup, status);
        testing::preview(canvas, "setup-" + name);
        return Picture(canvas);
    }
    // The lit cell of the upper row.
    int openTab(const Picture& picture) {
        return picture.inkOf(Theme::accent, {0, 0, 960, 20}).minX / 120;
    }

    Canvas canvas;
    SetupState setup;
    StatusModel status;
    Font small = canvas.font(13);
};

TEST_F(SetupScreenTest, AudioPageWithNothingKnown) {
    canvas.clear(DisplayColor(255, 0, 0));
    const Picture picture = draw("audio-unknown");
    EXPECT_EQ(picture.count(DisplayColor(255, 0, 0)), 0);
    EXPECT_EQ(openTab(picture), 0);
    EXPECT_EQ(picture.count(Theme::accent, {0, 140, 960, 20}), 0);  // no choice lit

    for (double x : {14.0, 494.0}) {
        EXPECT_EQ(picture.strongest({x - 2, 24, 200, 20}), Theme::accent);  // INPUT n
        const Rect valueArea{x - 2, 44, 440, 30};
        EXPECT_EQ(picture.strongest(valueArea), Theme::textFaint);  // the em dash
        EXPECT_NEAR(picture.ink(valueArea).width(), canvas.textWidth("\u2014", canvas.font(24, FontWeight::bold)), 2);
        EXPECT_NEAR(picture.ink({x - 2, 78, 440, 22}).width(), canvas.textWidth("Choose a type below", small), 2);
    }
    EXPECT_EQ(picture.count(Theme::divider, {480, 26, 1, 96}), 96);
    EXPECT_EQ(picture.at(480, 25), Theme::background);
    EXPECT_EQ(picture.at(480, 122), Theme::background);
    EXPECT_EQ(picture.strongest({12, 108, 466, 22}), Theme::textFaint);
}

TEST_F(SetupScreenTest, AudioPageShowsEachInputsChoice) {
    setup.preamps = {Preamp::instrument, Preamp::high};
    const Picture picture = draw("audio");
    EXPECT_EQ(picture.strongest({12, 44, 440, 30}), Theme::text);
    EXPECT_NEAR(picture.ink({12, 44, 440, 30}).width(), canvas.textWidth("Instrument", canvas.font(24, FontWeight::bold)),
                2);
    EXPECT_NEAR(picture.ink({492, 78, 440, 22}).width(), canvas.textWidth("Mic-level sources, +26 dB", small), 2);
    // Lower buttons 2 and 7 are lit.
    EXPECT_EQ(picture.inkOf(Theme::accent, {0, 140, 480, 20}).minX, 126);
    EXPECT_EQ(picture.inkOf(Theme::accent, {480, 140, 480, 20}).minX, 726);
}

TEST_F(SetupScreenTest, ExpressionPageWhileReadingThePush) {
    setup.tab = SetupTab::expression;
    Picture picture = draw("expression-unknown");
    EXPECT_EQ(openTab(picture), 1);
    EXPECT_EQ(picture.strongest({12, 44, 900, 30}), Theme::textFaint);
    EXPECT_NEAR(picture.ink({12, 78, 900, 22}).width(), canvas.textWidth("Reading the Push\u2026", small), 2);
    EXPECT_EQ(picture.count(Theme::accent, {0, 140, 960, 20}), 0);

    setup.aftertouch = AftertouchMode::mpe;
    picture = draw("expression");
    EXPECT_NEAR(picture.ink({12, 44, 900, 30}).width(), canvas.textWidth("MPE", canvas.font(24, FontWeight::bold)), 2);
    EXPECT_EQ(picture.inkOf(Theme::accent, {0, 140, 960, 20}).minX, 246);
    EXPECT_TRUE(picture.ink({360, 140, 600, 20}).empty());
}

TEST_F(SetupScreenTest, DisplayPageDrawsTwoColumnsAndTheHints) {
    setup.tab = SetupTab::display;
    setup.displayBrightness = 255;
    setup.ledBrightness = 127;
    const Picture picture = draw("display");
    EXPECT_EQ(openTab(picture), 2);
    EXPECT_EQ(picture.count(Theme::divider, {120, 30, 1, 116}), 116);
    // Both bars are full: no track shows inside them.
    EXPECT_EQ(picture.count(Theme::divider, {12, 142, 96, 6}), 0);
    EXPECT_EQ(picture.count(Theme::divider, {132, 142, 96, 6}), 0);
    EXPECT_GT(picture.count(Theme::accent, {0, 140, 120, 10}), 0);
    EXPECT_GT(picture.count(Theme::accent, {120, 140, 120, 10}), 0);
    EXPECT_NEAR(picture.ink({250, 48, 710, 22}).width(),
                canvas.textWidth("Turn knobs 1 and 2 to change the brightness.", small), 2);
    EXPECT_EQ(picture.strongest({250, 68, 710, 22}), Theme::textFaint);
    EXPECT_TRUE(picture.ink({241, 24, 8, 136}).empty());
}

TEST_F(SetupScreenTest, DiagnosticsPageReadsTheStatus) {
    setup.tab = SetupTab::diagnostics;
    status.cubaseConnected = true;
    status.protocolProblem = "Protocol mismatch";
    status.hostDescription = "Cubase Pro 13";
    status.bridgeVersion = "0.4.3";
    for (int i = 0; i < 12; ++i) status.diagnostics.push_back("line " + std::to_string(i));
    const Picture picture = draw("diagnostics");
    EXPECT_EQ(openTab(picture), 3);

    testing::expectDot(picture, {10, 30, 24, 20}, Theme::error, 16, 34);
    EXPECT_EQ(picture.count(Theme::ok), 0);
    EXPECT_NEAR(picture.ink({34, 26, 560, 28}).width(),
                canvas.textWidth("Protocol mismatch", canvas.font(20, FontWeight::semibold)), 2);
    EXPECT_NEAR(picture.ink({12, 58, 580, 22}).width(),
                canvas.textWidth("Cubase Pro 13  \u00B7  bridge 0.4.3", small), 2);

    // Eight lines, the last on the row at 122.5 (its text standing on the capitals' baseline);
    // nothing under it.
    const Font fixed = canvas.font(10.5, FontWeight::regular, false, true);
    EXPECT_NEAR(picture.ink({604, 26, 342, 15}, Theme::panel).width(), canvas.textWidth("line 0", fixed), 2);
    const testing::Box last = picture.ink({604, 120, 342, 17}, Theme::panel);
    EXPECT_NEAR(last.maxY + 1, 122.5 + 7 + fixed.capHeight() / 2, 1);
    EXPECT_TRUE(picture.ink({612, 137, 330, 1}, Theme::panel).empty());
    EXPECT_EQ(picture.count(Theme::accent, {0, 140, 960, 20}), 0);
}

TEST_F(SetupScreenTest, DiagnosticsPageWhileWaiting) {
    setup.tab = SetupTab::diagnostics;
    const Picture picture = draw("diagnostics-waiting");
    EXPECT_EQ(picture.ink({10, 30, 24, 20}).width(), 12);
    EXPECT_EQ(picture.strongest({10, 30, 24, 20}), Theme::warn);
    EXPECT_NEAR(picture.ink({12, 58, 580, 22}).width(), canvas.textWidth("bridge", small), 2);
}

}  // namespace
}  // namespace corvane
