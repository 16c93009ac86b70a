#include "PushDisplay/TracksScreen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include "PushDisplay/Theme.h"

namespace corvane {
namespace {

using Unit = TimelinePosition::Unit;

const DisplayColor oddLane = DisplayColor::hex(0x111418);
constexpr DisplayColor letterOff = DisplayColor::hex(0x31363F);

struct Box {
    int minX = 10000, minY = 10000, maxX = -1, maxY = -1;  // inclusive pixel bounds
    bool empty() const { return maxX < 0; }
    double midX() const { return (minX + maxX + 1) / 2.0; }
};

// Whether c lies, within rounding, on the blend from `from` to `to`: what anti-aliased ink of
// colour `to` leaves on `from`.
bool blendOf(DisplayColor c, DisplayColor from, DisplayColor to) {
    const int fc[] = {from.r, from.g, from.b}, tc[] = {to.r, to.g, to.b}, cc[] = {c.r, c.g, c.b};
    int axis = 0;
    for (int i = 1; i < 3; ++i)
        if (std::abs(tc[i] - fc[i]) > std::abs(tc[axis] - fc[axis])) axis = i;
    if (tc[axis] == fc[axis]) return c == from;
    const double t = double(cc[axis] - fc[axis]) / (tc[axis] - fc[axis]);
    if (t < -0.02 || t > 1.02) return false;
    for (int i = 0; i < 3; ++i)
        if (std::abs(cc[i] - (fc[i] + t * (tc[i] - fc[i]))) > 2.5) return false;
    return true;
}

class TracksScreenTest : public ::testing::Test {
protected:
    // A model showing a timeline window with the playhead in it, every row an existing track.
    static TracksScreenModel timeline(Unit unit, double start, double playhead) {
        TracksScreenModel model;
        model.unit = unit;
        model.windowStart = start;
        model.windowEnd = start + TracksScreenModel::span(unit);
        model.playhead = playhead;
        return model;
    }

    void draw(const TracksScreenModel& model) { TracksScreen::draw(canvas, model); }
    DisplayColor at(int x, int y) { return canvas.pixel(x, y); }

    // The bounds of every pixel in area that is none of the ground colours.
    Box ink(Rect area, std::initializer_list<DisplayColor> ground = {Theme::background}) {
        Box box;
        for (int y = int(area.minY()); y < int(area.maxY()); ++y)
            for (int x = int(area.minX()); x < int(area.maxX()); ++x) {
                if (std::find(ground.begin(), ground.end(), canvas.pixel(x, y)) != ground.end()) continue;
                box.minX = std::min(box.minX, x), box.maxX = std::max(box.maxX, x);
                box.minY = std::min(box.minY, y), box.maxY = std::max(box.maxY, y);
            }
        return box;
    }

    // Every pixel of area is the ground or ink of the colour on it.
    bool inkIs(Rect area, DisplayColor ground, DisplayColor color) {
        for (int y = int(area.minY()); y < int(area.maxY()); ++y)
            for (int x = int(area.minX()); x < int(area.maxX()); ++x)
                if (!blendOf(canvas.pixel(x, y), ground, color)) return false;
        return true;
    }

    int count(DisplayColor color, Rect area = {0, 0, 960, 160}) {
        int n = 0;
        for (int y = int(area.minY()); y < int(area.maxY()); ++y)
            for (int x = int(area.minX()); x < int(area.maxX()); ++x) n += canvas.pixel(x, y) == color;
        return n;
    }

    Canvas canvas;
};

TEST_F(TracksScreenTest, AnEmptyModelShowsTitleStopSymbolPlainLanesAndTheHint) {
    canvas.clear(DisplayColor(255, 0, 255));  // nothing of an earlier frame may remain
    draw(TracksScreenModel());
    EXPECT_EQ(count(DisplayColor(255, 0, 255)), 0);

    const Box title = ink({0, 0, 120, 19});
    EXPECT_NEAR(title.minX, 8, 2);
    EXPECT_TRUE(inkIs({0, 0, 120, 19}, Theme::background, Theme::accent));
    const Box stop = ink({600, 0, 360, 19});
    EXPECT_LE(stop.maxX, 952);
    EXPECT_GE(stop.minX, 952 - canvas.textWidth("■", canvas.font(12, FontWeight::bold)) - 1);
    EXPECT_TRUE(inkIs({600, 0, 360, 19}, Theme::background, Theme::textFaint));
    EXPECT_TRUE(ink({120, 0, 480, 19}).empty());  // no bank, no position

    EXPECT_EQ(count(Theme::panel, {124, 19, 832, 12}), 832 * 12);
    for (int i = 0; i < 8; ++i) {
        const int y = 32 + 16 * i;
        SCOPED_TRACE(i);
        EXPECT_EQ(at(130, y + 1), i % 2 == 0 ? Theme::panel : oddLane);
        EXPECT_EQ(at(955, y + 14), i % 2 == 0 ? Theme::panel : oddLane);
        EXPECT_EQ(at(130, y), Theme::background);
        EXPECT_EQ(at(123, y + 8), Theme::background);
        EXPECT_TRUE(ink({0, double(y), 122, 16}).empty());  // no labels
    }

    // The hint is centred between the lanes' ends and in y 84 to 100.
    const Box hint = ink({124, 32, 832, 128}, {Theme::panel, oddLane, Theme::background});
    EXPECT_NEAR(hint.midX(), 540, 2);
    EXPECT_GE(hint.minY, 84 - 4);
    EXPECT_LE(hint.maxY, 100 + 4);
    const double hintWidth = canvas.textWidth(TracksScreen::timelineHint, canvas.font(12));
    EXPECT_NEAR(hint.maxX + 1 - hint.minX, hintWidth, 3);
    EXPECT_EQ(count(Theme::text), 0);  // no playhead
}

TEST_F(TracksScreenTest, BeatsPlaceBarMarksGuidesAndThePlayhead) {
    draw(timeline(Unit::beats, 0, 16));

    for (int y = 19; y < 160; ++y) ASSERT_EQ(at(332, y), Theme::text) << y;
    EXPECT_EQ(count(Theme::text), 141);

    // A tick every bar, 52 pixels apart; the major ones every four bars.
    for (int bar = 0; bar <= 16; ++bar) {
        const int x = 124 + 52 * bar;
        if (x == 332 || x >= 956) continue;
        const bool major = bar % 4 == 0;
        SCOPED_TRACE(bar);
        EXPECT_EQ(at(x, 30), Theme::textFaint);
        EXPECT_EQ(at(x, 28), Theme::textFaint);
        EXPECT_EQ(at(x, 25), major ? Theme::textFaint : Theme::panel);
        EXPECT_EQ(at(x + 1, 30), Theme::panel);
        // Guide lines at the major marks, in every lane.
        EXPECT_EQ(at(x, 40), major ? DisplayColor::hex(0x282E37) : Theme::panel);
        EXPECT_EQ(at(x, 56), major ? DisplayColor::hex(0x282D36) : oddLane);
    }
    // The last mark stands at the window's end, x 956, right of the strip.
    EXPECT_EQ(at(956, 30), Theme::textFaint);

    // Labels beside the major marks only, in the dim text colour, within their measured width.
    const Font label = canvas.font(9, FontWeight::regular, true);
    int widths[3], i = 0;
    for (const auto& [x, text] : {std::pair{124, "1"}, {540, "9"}, {748, "13"}}) {
        const Box box = ink({double(x + 1), 18, 40, 7}, {Theme::panel, Theme::background});
        SCOPED_TRACE(text);
        EXPECT_GE(box.minX, x + 2);
        EXPECT_LE(box.maxX + 1, x + 2 + canvas.textWidth(text, label) + 1);
        EXPECT_TRUE(inkIs({double(x + 2), 19, 40, 6}, Theme::panel, Theme::textDim));
        widths[i++] = box.maxX + 1 - box.minX;
    }
    EXPECT_GT(widths[2], widths[1] + 2);
    EXPECT_TRUE(ink({178, 19, 40, 6}, {Theme::panel}).empty());
}

TEST_F(TracksScreenTest, SecondsMarkEveryFiveAndLabelEveryTen) {
    draw(timeline(Unit::seconds, 92, 100.5));
    // x = 124 + 26 (t - 92).
    for (int t = 95; t <= 120; t += 5) {
        const int x = 124 + 26 * (t - 92);
        const bool major = t % 10 == 0;
        SCOPED_TRACE(t);
        EXPECT_EQ(at(x, 30), Theme::textFaint);
        EXPECT_EQ(at(x, 25), major ? Theme::textFaint : Theme::panel);
        EXPECT_EQ(at(x, 40), major ? DisplayColor::hex(0x282E37) : Theme::panel);
        const Box label = ink({double(x + 1), 19, 40, 6}, {Theme::panel});
        EXPECT_EQ(label.empty(), !major);
        if (major) {
            EXPECT_NEAR(label.maxX + 1 - label.minX,
                        canvas.textWidth(std::to_string(t) + "s", canvas.font(9, FontWeight::regular, true)), 2.5);
        }
    }
    EXPECT_EQ(at(124 + 26 * 8.5, 100), Theme::text);  // 345 after rounding 345.0
}

TEST_F(TracksScreenTest, TheCycleBandIsClippedToTheTimelineAndDimmerWhenCycleIsOff) {
    auto model = timeline(Unit::beats, 0, 70);
    model.cycleRange = TracksScreenModel::Range{-10, 100};
    model.cycle = true;
    draw(model);
    EXPECT_EQ(at(130, 22), Theme::accentDim);
    EXPECT_EQ(at(955, 22), Theme::accentDim);
    EXPECT_EQ(at(123, 22), Theme::background);
    EXPECT_EQ(at(130, 40), DisplayColor::hex(0x182C3B));
    EXPECT_EQ(at(130, 56), DisplayColor::hex(0x152836));
    EXPECT_EQ(at(955, 56), DisplayColor::hex(0x152836));
    EXPECT_EQ(at(123, 40), Theme::background);
    EXPECT_EQ(at(540, 40), DisplayColor::hex(0x282E37));  // guides over the band

    model.cycle = false;
    model.cycleRange = TracksScreenModel::Range{8, 24};  // x 228 to 436
    draw(model);
    EXPECT_EQ(at(228, 22), Theme::divider);
    EXPECT_EQ(at(435, 22), Theme::divider);
    EXPECT_EQ(at(227, 22), Theme::panel);
    EXPECT_EQ(at(436, 22), Theme::panel);
    EXPECT_EQ(at(228, 40), DisplayColor::hex(0x172029));
    EXPECT_EQ(at(228, 56), DisplayColor::hex(0x121B22));
    EXPECT_EQ(at(332, 40), DisplayColor::hex(0x282E37));

    model.cycleRange = TracksScreenModel::Range{80, 90};
    draw(model);
    EXPECT_EQ(count(Theme::divider, {124, 19, 832, 12}), 0);
    EXPECT_EQ(count(Theme::accentDim), 0);
}

TEST_F(TracksScreenTest, RowsShowStripNameLettersAndMeter) {
    auto model = timeline(Unit::beats, 0, 16);
    auto& plain = model.rows[2];
    plain.exists = true;
    plain.name = "Bass";
    plain.color = DisplayColor(60, 140, 240);
    plain.meter = 0.5;
    plain.solo = true;
    auto& selected = model.rows[3];
    selected.exists = true;
    selected.name = "Lead";
    selected.selected = true;
    selected.mute = true;
    selected.recordArm = true;
    selected.meter = 1.0;
    model.rows[4].name = "Gone";  // a slot without a channel shows nothing but its lane
    draw(model);

    const int y2 = 64, y3 = 80;
    EXPECT_EQ(at(3, y2 + 8), DisplayColor(60, 140, 240));
    EXPECT_EQ(at(3, y3 + 8), Theme::textDim);
    EXPECT_EQ(at(6, y2 + 8), Theme::background);
    EXPECT_EQ(at(6, y3 + 8), Theme::accentDim);
    EXPECT_EQ(at(121, y3 + 8), Theme::accentDim);
    EXPECT_EQ(at(122, y3 + 8), Theme::background);
    EXPECT_TRUE(ink({0, 96, 123, 16}).empty());

    const double plainWidth = canvas.textWidth("Bass", canvas.font(11, FontWeight::medium));
    const Box name = ink({7, double(y2), 80, 16});
    EXPECT_NEAR(name.minX, 8, 1.5);
    EXPECT_NEAR(name.maxX + 1 - name.minX, plainWidth, 2);
    EXPECT_TRUE(inkIs({7, double(y2), 80, 16}, Theme::background, Theme::textDim));
    EXPECT_TRUE(inkIs({7, double(y3 + 2), 80, 12}, Theme::accentDim, Theme::text));
    EXPECT_GT(canvas.textWidth("Lead", canvas.font(11, FontWeight::bold)),
              canvas.textWidth("Lead", canvas.font(11, FontWeight::medium)));

    // M, S, R in their colours when on, in #31363F when off.
    const DisplayColor onColors[] = {Theme::mute, Theme::solo, Theme::record};
    for (int k = 0; k < 3; ++k) {
        const Rect plainCell{88.0 + 9 * k, double(y2), 9, 16}, selectedCell{88.0 + 9 * k, double(y3 + 2), 9, 12};
        SCOPED_TRACE(k);
        EXPECT_FALSE(ink(plainCell).empty());
        EXPECT_TRUE(inkIs(plainCell, Theme::background, k == 1 ? Theme::solo : letterOff));
        EXPECT_TRUE(inkIs(selectedCell, Theme::accentDim, k == 1 ? letterOff : onColors[k]));
    }

    // Meter 0.5: six pixels of green from the bottom, no red.
    for (int y = y2 + 2; y < y2 + 14; ++y)
        for (int x = 117; x < 121; ++x) EXPECT_EQ(at(x, y), y >= y2 + 8 ? Theme::meter : Theme::divider) << y;
    // Meter 1.0: green up to 10.2 pixels, red above.
    EXPECT_EQ(at(118, y3 + 2), Theme::meterHot);
    for (int y = y3 + 4; y < y3 + 14; ++y) EXPECT_EQ(at(118, y), Theme::meter) << y;

    // The selected row's lane is outlined in the accent, inside the lane.
    EXPECT_EQ(at(500, y3 + 1), Theme::accent);
    EXPECT_EQ(at(500, y3 + 14), Theme::accent);
    EXPECT_EQ(at(124, y3 + 8), Theme::accent);
    EXPECT_EQ(at(955, y3 + 8), Theme::accent);
    EXPECT_EQ(at(500, y3), Theme::background);
    EXPECT_EQ(at(500, y3 + 2), oddLane);
    EXPECT_EQ(at(500, y2 + 1), Theme::panel);
}

TEST_F(TracksScreenTest, ALongNameIsCutInsideItsColumn) {
    TracksScreenModel model;
    model.rows[0].exists = true;
    model.rows[0].name = "Backing Vocals Doubled Harmony";
    const Font font = canvas.font(11, FontWeight::medium);
    ASSERT_GT(canvas.textWidth(model.rows[0].name, font), 78);
    draw(model);
    const Box name = ink({7, 32, 81, 16});
    EXPECT_LE(name.maxX, 86);
    EXPECT_GT(name.maxX, 86 - canvas.textWidth("W…", font));
    EXPECT_TRUE(ink({87, 32, 1, 16}).empty());
}

TEST_F(TracksScreenTest, StatusItemsRunRightToLeftTwelvePixelsApart) {
    TracksScreenModel model;
    model.tempoText = "120.00";
    model.cycle = model.recording = model.playing = true;
    model.bankText = "1–8 of 14";
    model.positionText = "5. 1. 1. 0";
    draw(model);

    const Font bold = canvas.font(12, FontWeight::bold);
    struct Item {
        const char* text;
        DisplayColor color;
    } const items[] = {{"▶", Theme::ok}, {"● REC", Theme::record}, {"⟲ CYCLE", Theme::accent}, {"120.00", Theme::textDim}};
    double right = 952;
    for (const auto& item : items) {
        const double w = canvas.textWidth(item.text, bold);
        const Rect area{right - w - 1, 0, w + 2, 19};
        const Box box = ink(area);
        SCOPED_TRACE(item.text);
        EXPECT_FALSE(box.empty());
        EXPECT_NEAR(box.minX, right - w, 2);
        EXPECT_LE(box.maxX, right);
        EXPECT_TRUE(inkIs(area, Theme::background, item.color));
        EXPECT_TRUE(ink({right - w - 11, 0, 10, 19}).empty());  // the gap
        right -= w + 12;
    }

    const Box position = ink({330, 0, 300, 19});
    EXPECT_NEAR(position.midX(), 480, 2);
    EXPECT_NEAR(position.maxX + 1 - position.minX,
                canvas.textWidth("5. 1. 1. 0", canvas.font(14, FontWeight::semibold, true)), 3);
    EXPECT_TRUE(inkIs({330, 0, 300, 19}, Theme::background, Theme::text));
    const Box bank = ink({66, 0, 110, 19});
    EXPECT_NEAR(bank.minX, 66, 1.5);
    EXPECT_TRUE(inkIs({80, 0, 96, 19}, Theme::background, Theme::textDim));
}

TEST_F(TracksScreenTest, APlayheadBeforeTheWindowIsLeftOfTheLanesOrGone) {
    draw(timeline(Unit::beats, 0, -1));  // x = 124 - 13
    EXPECT_EQ(at(111, 19), Theme::text);
    EXPECT_EQ(at(111, 159), Theme::text);
    EXPECT_EQ(count(Theme::text), 141);

    draw(timeline(Unit::beats, 0, -20));
    EXPECT_EQ(count(Theme::text), 0);
    // Far off either side, nothing wraps back onto the display.
    draw(timeline(Unit::beats, 0, -1e12));
    EXPECT_EQ(count(Theme::text), 0);
    draw(timeline(Unit::beats, 0, 1e12));
    EXPECT_EQ(count(Theme::text), 0);
}

TEST_F(TracksScreenTest, OddModelsDrawWithoutHarm) {
    // A position so large that a step no longer changes it: the marks still end.
    const auto far = TracksScreenModel::Range{0, 1};
    auto model = timeline(Unit::beats, 3.6893488147419103e19, 3.6893488147419103e19 + 16);
    model.cycleRange = far;
    draw(model);
    EXPECT_EQ(at(130, 40), Theme::panel);

    // Fewer than eight rows: the rest are empty slots.
    TracksScreenModel few;
    few.rows.resize(2);
    few.rows[1].exists = true;
    few.rows[1].name = "Two";
    draw(few);
    EXPECT_FALSE(ink({0, 48, 122, 16}).empty());
    EXPECT_TRUE(ink({0, 64, 122, 96}).empty());
    EXPECT_EQ(at(130, 145), oddLane);
}

}  // namespace
}  // namespace corvane
