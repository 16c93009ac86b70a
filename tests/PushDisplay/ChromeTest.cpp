#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "PushDisplay/ButtonRow.h"
#include "PushDisplay/Popup.h"
#include "PushDisplay/Slots.h"
#include "PushDisplay/TransportBadge.h"
#include "core/StateKeys.h"
#include "tests/PushDisplay/ScreenPicture.h"

namespace corvane {
namespace {

using testing::Picture;
namespace PF = StateKeys::ParameterField;
constexpr DisplayColor red{255, 0, 0};

class ChromeTest : public ::testing::Test {
protected:
    void SetUp() override { canvas.clear(Theme::background); }
    Canvas canvas;
    RemoteState state;
};

// --- Button rows

TEST_F(ChromeTest, RowDrawsAtMostEightCellsOnItsEdge) {
    std::vector<ButtonLabel> labels(10, ButtonLabel{"LABEL", true, red});
    ButtonRow::draw(canvas, labels, true);
    Picture top(canvas);
    for (int i = 0; i < 8; ++i) {
        const testing::Box cell = top.inkOf(red, {i * 120.0, 0, 120, 160});
        EXPECT_EQ(cell.minX, i * 120 + 6) << i;
        EXPECT_EQ(cell.maxX, i * 120 + 113) << i;
        EXPECT_EQ(cell.minY, 1) << i;
        EXPECT_EQ(cell.maxY, 18) << i;
        // The lit cell's text is in the background colour.
        EXPECT_GT(top.count(Theme::background, {i * 120.0 + 20, 4, 80, 12}), 0) << i;
    }
    EXPECT_TRUE(top.ink({0, 19, 960, 141}).empty());

    canvas.clear(Theme::background);
    ButtonRow::draw(canvas, std::span(labels).first(3), false);
    Picture bottom(canvas);
    const testing::Box drawn = bottom.ink(Picture::whole);
    EXPECT_EQ(drawn.minY, 141);
    EXPECT_EQ(drawn.maxY, 158);
    EXPECT_EQ(drawn.maxX, 2 * 120 + 113);
    EXPECT_TRUE(bottom.ink({360, 0, 600, 160}).empty());
}

TEST_F(ChromeTest, EmptyAndInactiveLabels) {
    ButtonRow::draw(canvas, std::vector<ButtonLabel>{ButtonLabel{"", true, red}, ButtonLabel{"OFF", false, red},
                                                     ButtonLabel::none},
                    true);
    Picture picture(canvas);
    EXPECT_TRUE(picture.ink({0, 0, 120, 160}).empty());
    EXPECT_EQ(picture.count(red), 0);
    EXPECT_EQ(picture.strongest({120, 0, 120, 20}), Theme::textDim);
    const testing::Box text = picture.ink({120, 0, 120, 20});
    EXPECT_NEAR(text.midX(), 180, 1.5);
    EXPECT_TRUE(picture.ink({240, 0, 720, 160}).empty());
}

TEST_F(ChromeTest, LongLabelIsCutInsideItsCell) {
    const std::string label = "A LABEL FAR TOO WIDE FOR ITS CELL";
    ASSERT_GT(canvas.textWidth(label, canvas.font(11, FontWeight::bold)), 108);
    ButtonRow::draw(canvas, std::vector<ButtonLabel>{ButtonLabel{}, ButtonLabel{label, false, red}}, true);
    const testing::Box text = Picture(canvas).ink(Picture::whole);
    EXPECT_GE(text.minX, 120 + 5);
    EXPECT_LE(text.maxX, 120 + 114);
    EXPECT_GT(text.width(), 90);  // most of the cell, so it was cut, not dropped
}

// --- Slots

TEST_F(ChromeTest, SlotReadsItsParameterFields) {
    state.set(StateKeys::parameter(3, PF::title), StateValue::string("Cutoff"));
    state.set(StateKeys::parameter(3, PF::valueText), StateValue::string("1.2 kHz"));
    state.set(StateKeys::parameter(3, PF::value), StateValue::number(16383 / 4));
    state.set(StateKeys::parameter(3, PF::bipolar), StateValue::number(1));
    state.set(StateKeys::parameter(3, PF::owner), StateValue::string("Filter"));
    EXPECT_EQ(Slots::column(state, 3, true),
              (ParameterColumnModel{"Cutoff", "1.2 kHz", (16383 / 4) / 16383.0, true, true, true}));
    EXPECT_EQ(Slots::owner(state, 3), "Filter");
    EXPECT_EQ(Slots::owner(state, 2), "");
    state.set(StateKeys::parameter(3, PF::owner), StateValue::number(5));
    EXPECT_EQ(Slots::owner(state, 3), "");
}

TEST_F(ChromeTest, SlotWithoutContentIsEmptyWhateverItsFlags) {
    state.set(StateKeys::parameter(0, PF::bipolar), StateValue::number(1));
    state.set(StateKeys::parameter(0, PF::title), StateValue::number(7));  // not a text
    EXPECT_EQ(Slots::column(state, 0, false), ParameterColumnModel::empty);
    ParameterColumnModel touched = ParameterColumnModel::empty;
    touched.touched = true;
    EXPECT_EQ(Slots::column(state, 0, true), touched);

    state.set(StateKeys::parameter(1, PF::value), StateValue::number(16383));
    EXPECT_EQ(Slots::column(state, 1, false), (ParameterColumnModel{"", "", 1.0, false, false, true}));
    EXPECT_DEATH(Slots::column(state, 8, false), "slot outside");
    EXPECT_DEATH(Slots::owner(state, -1), "slot outside");
}

// --- Transport badge

TEST_F(ChromeTest, BadgeRightAlignsItsPartsAt946) {
    const Font font = canvas.font(13, FontWeight::bold);
    state.set(StateKeys::Transport::tempoText, StateValue::string("120.00"));
    TransportBadge::draw(canvas, state, 30);
    Picture picture(canvas);
    const double stopWidth = canvas.textWidth("\u25A0", font);
    const double tempoEnd = 946 - stopWidth - 14;
    const testing::Box stop = picture.ink({tempoEnd + 1, 0, 960 - tempoEnd - 1, 160});
    EXPECT_LE(stop.maxX, 946);
    EXPECT_GE(stop.maxX, 942);
    EXPECT_EQ(picture.strongest({tempoEnd + 1, 0, 960, 160}), Theme::textFaint);
    const testing::Box tempo = picture.ink({0, 0, tempoEnd + 1, 160});
    EXPECT_LE(tempo.maxX, tempoEnd + 1);
    EXPECT_GE(tempo.maxX, tempoEnd - 3);
    EXPECT_NEAR(tempo.width(), canvas.textWidth("120.00", font), 3);
    EXPECT_GE(tempo.minY, 30 - 4);
    EXPECT_LE(tempo.maxY, 30 + 18 + 4);
    EXPECT_EQ(picture.strongest({0, 0, tempoEnd, 160}), Theme::textDim);
}

TEST_F(ChromeTest, BadgeLeavesOutAnEmptyTempoAndShowsEachState) {
    const Font font = canvas.font(13, FontWeight::bold);
    state.set(StateKeys::Transport::tempoText, StateValue::string(""));
    TransportBadge::draw(canvas, state, 30);
    EXPECT_GE(Picture(canvas).ink(Picture::whole).minX, 946 - canvas.textWidth("\u25A0", font) - 1);

    canvas.clear(Theme::background);
    state.set(StateKeys::Transport::cycle, StateValue::number(1));
    state.set(StateKeys::Transport::recording, StateValue::number(1));
    state.set(StateKeys::Transport::playing, StateValue::number(1));
    TransportBadge::draw(canvas, state, 30);
    Picture picture(canvas);
    const double play = 946 - canvas.textWidth("\u25B6", font);
    const double rec = play - 14 - canvas.textWidth("\u25CF REC", font);
    const double cycle = rec - 14 - canvas.textWidth("\u27F2", font);
    EXPECT_EQ(picture.strongest({play, 0, 960 - play, 160}), Theme::ok);
    EXPECT_EQ(picture.strongest({rec, 0, play - rec - 1, 160}), Theme::record);
    EXPECT_EQ(picture.strongest({cycle, 0, rec - cycle - 1, 160}), Theme::accent);
    EXPECT_GE(picture.ink(Picture::whole).minX, cycle - 1);
}

// --- Popup

TEST_F(ChromeTest, PopupDrawsMarginPanelAndFrameEvenWhenEmpty) {
    canvas.clear(red);
    Popup("", "").draw(canvas);
    Picture picture(canvas);
    EXPECT_EQ(picture.at(327, 80), red);
    EXPECT_EQ(picture.at(328, 80), Theme::background);
    EXPECT_EQ(picture.at(329, 80), Theme::background);
    EXPECT_EQ(picture.at(330, 80), Theme::accent);
    EXPECT_EQ(picture.at(629, 80), Theme::accent);
    EXPECT_EQ(picture.at(480, 34), Theme::accent);
    EXPECT_EQ(picture.at(480, 125), Theme::accent);
    EXPECT_EQ(picture.at(480, 31), red);
    EXPECT_EQ(picture.at(480, 128), red);
    // Nothing but panel inside the frame (away from its rounded corners).
    EXPECT_TRUE(picture.ink({341, 35, 278, 90}, Theme::panel).empty());
    EXPECT_TRUE(picture.ink({331, 45, 298, 70}, Theme::panel).empty());
}

TEST_F(ChromeTest, PopupTextAndBar) {
    Popup{"Volume", "-6.0 dB", 0.5}.draw(canvas);
    Picture picture(canvas);
    EXPECT_EQ(picture.strongest({330, 38, 300, 22}, Theme::panel), Theme::accent);
    EXPECT_EQ(picture.strongest({330, 62, 300, 36}, Theme::panel), Theme::text);
    const testing::Box value = picture.ink({331, 60, 298, 40}, Theme::panel);
    EXPECT_NEAR(value.midX(), 480, 2);
    const testing::Box fill = picture.inkOf(Theme::accent, {331, 106, 298, 6});
    EXPECT_NEAR(fill.maxX, 354 + 126, 1);
    EXPECT_GT(picture.count(Theme::divider, {481, 108, 120, 2}), 0);

    Popup{"", "", 1.7}.draw(canvas);
    EXPECT_EQ(Picture(canvas).at(600, 109), Theme::accent);
    Popup{"", "", -0.3}.draw(canvas);
    Picture track(canvas);
    EXPECT_EQ(track.count(Theme::accent, {340, 106, 280, 6}), 0);
    EXPECT_EQ(track.at(480, 109), Theme::divider);

    EXPECT_EQ((Popup{"a", "b"}), (Popup{"a", "b", std::nullopt}));
    EXPECT_NE((Popup{"a", "b"}), (Popup{"a", "b", 0.0}));
}

}  // namespace
}  // namespace corvane
