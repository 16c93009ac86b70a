#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PushDisplay/ScaleScreen.h"
#include "core/PadEngine.h"
#include "tests/PushDisplay/LabelParts.h"
#include "tests/PushDisplay/ScreenPicture.h"

namespace corvane {
namespace {

using testing::Box;
using testing::Picture;
using testing::lit;
using testing::texts;

TEST(ScaleLabelsTest, LayoutRootsAndModes) {
    PadSettings settings;
    auto upper = ScaleScreen::upperLabels(settings);
    auto lower = ScaleScreen::lowerLabels(settings);
    EXPECT_EQ(texts(upper), (std::vector<std::string>{"4THS \u2191", "C", "G", "D", "A", "E", "B", "FIXED OFF"}));
    EXPECT_EQ(lit(upper), (std::vector<bool>{false, true, false, false, false, false, false, false}));
    EXPECT_EQ(texts(lower), (std::vector<std::string>{"IN KEY", "F", "B\u266D", "E\u266D", "A\u266D", "D\u266D",
                                                      "G\u266D", ""}));
    EXPECT_EQ(lit(lower), std::vector<bool>(8, false));
    EXPECT_EQ(lower[7], ButtonLabel::none);
    for (const auto& label : upper) EXPECT_EQ(label.color, Theme::accent);

    settings.root = 1;  // D♭
    settings.fixed = true;
    settings.inKey = false;
    settings.layout = NoteLayout::sequentialRight;
    upper = ScaleScreen::upperLabels(settings);
    lower = ScaleScreen::lowerLabels(settings);
    EXPECT_EQ(upper[0].text, "SEQUENT \u2192");
    EXPECT_EQ(upper[7].text, "FIXED ON");
    EXPECT_EQ(lit(upper), (std::vector<bool>{false, false, false, false, false, false, false, true}));
    EXPECT_EQ(lower[0].text, "CHROMATIC");
    EXPECT_EQ(lit(lower), (std::vector<bool>{false, false, false, false, false, true, false, false}));
}

TEST(ScaleLabelsTest, GridKeepsTheChosenGroupCentred) {
    ASSERT_EQ(PadEngine::scales().size(), 35u);
    EXPECT_EQ(ScaleScreen::firstVisibleGroup(0), 0);
    EXPECT_EQ(ScaleScreen::firstVisibleGroup(10), 0);
    EXPECT_EQ(ScaleScreen::firstVisibleGroup(12), 1);
    EXPECT_EQ(ScaleScreen::firstVisibleGroup(19), 2);
    EXPECT_EQ(ScaleScreen::firstVisibleGroup(24), 4);
    EXPECT_EQ(ScaleScreen::firstVisibleGroup(34), 4);
}

TEST(ScaleLabelsTest, InformationLine) {
    PadSettings settings;
    EXPECT_EQ(ScaleScreen::informationLine(settings), "In Key \u00B7 4ths \u2191 \u00B7 C1\u2013C5");
    settings.drums = true;
    EXPECT_EQ(ScaleScreen::informationLine(settings), "4\u00D74 blocks \u00B7 C1\u2013E\u266D6");
    settings.octave = -3;
    EXPECT_TRUE(ScaleScreen::informationLine(settings).starts_with("4\u00D74 blocks \u00B7 C-2\u2013"));
    settings = PadSettings();
    settings.inKey = false;
    settings.fixed = true;
    EXPECT_TRUE(ScaleScreen::informationLine(settings).starts_with("Chromatic \u00B7 4ths \u2191 \u00B7 Fixed \u00B7 "));
}

class ScaleScreenTest : public ::testing::Test {
protected:
    Picture draw(const std::string& name) {
        ScaleScreen::draw(canvas, settings);
        testing::preview(canvas, "scale-" + name);
        return Picture(canvas);
    }
    static Rect slot(int column, int row) { return {120.0 * column + 6, 26 + 28.0 * row, 108, 22}; }

    Canvas canvas;
    PadSettings settings;
};

TEST_F(ScaleScreenTest, DefaultSettings) {
    canvas.clear(DisplayColor(255, 0, 0));
    const Picture picture = draw("default");
    EXPECT_EQ(picture.count(DisplayColor(255, 0, 0)), 0);

    // Upper row: C lit; lower row: nothing lit.
    EXPECT_EQ(picture.inkOf(Theme::accent, {0, 0, 960, 20}).minX, 126);
    EXPECT_EQ(picture.inkOf(Theme::accent, {0, 0, 960, 20}).maxX, 233);
    EXPECT_EQ(picture.count(Theme::accent, {0, 140, 960, 20}), 0);

    const Rect title{72, 22, 285, 26};
    EXPECT_NEAR(picture.ink(title).width(), canvas.textWidth("C Major", canvas.font(19, FontWeight::bold)), 2.5);
    EXPECT_EQ(picture.strongest({10, 25, 60, 20}), Theme::accent);  // SCALE
    const Font valueFont = canvas.font(16, FontWeight::bold);
    EXPECT_NEAR(picture.ink({126, 72, 108, 26}).width(), canvas.textWidth("Major", valueFont), 2);
    EXPECT_NEAR(picture.ink({246, 72, 108, 26}).width(), canvas.textWidth("+0", valueFont), 2);
    EXPECT_NEAR(picture.ink({246, 72, 108, 26}).midX(), 300, 1.5);
    EXPECT_EQ(picture.strongest({6, 54, 108, 18}), Theme::textDim);  // Root
    EXPECT_NEAR(picture.ink({10, 106, 345, 22}).width(),
                canvas.textWidth("In Key \u00B7 4ths \u2191 \u00B7 C1\u2013C5", canvas.font(12)), 2);

    EXPECT_EQ(picture.count(Theme::divider, {360, 24, 1, 112}), 112);
    EXPECT_EQ(picture.at(360, 23), Theme::background);
    EXPECT_EQ(picture.at(360, 136), Theme::background);

    // "Major" lit in the first slot of column 3; every other name dim.
    const Box lit = picture.inkOf(Theme::accent, {361, 20, 599, 120});
    EXPECT_EQ(lit.minX, 366);
    EXPECT_EQ(lit.maxX, 473);
    EXPECT_EQ(lit.minY, 26);
    EXPECT_EQ(lit.maxY, 47);
    EXPECT_GT(picture.count(Theme::background, slot(3, 0)), 0);
    EXPECT_EQ(picture.strongest(slot(4, 2)), Theme::textDim);
    EXPECT_FALSE(picture.ink(slot(7, 3)).empty());
}

TEST_F(ScaleScreenTest, LastScaleShowsTheShortLastGroup) {
    settings.scaleIndex = 34;
    settings.root = 1;
    const Picture picture = draw("last");
    const Box lit = picture.inkOf(Theme::accent, {361, 20, 599, 120});
    EXPECT_EQ(lit.minX, 846);
    EXPECT_EQ(lit.minY, 82);
    EXPECT_TRUE(picture.ink(slot(7, 3)).empty());
    EXPECT_NEAR(picture.ink(slot(7, 0)).width(),
                canvas.textWidth(PadEngine::scales()[32].name, canvas.font(12, FontWeight::semibold)), 2);
    EXPECT_NEAR(picture.ink(slot(3, 1)).width(),
                canvas.textWidth(PadEngine::scales()[17].name, canvas.font(12, FontWeight::semibold)), 2);
    // D♭ is lit below, no root above.
    EXPECT_EQ(picture.count(Theme::accent, {0, 0, 840, 20}), 0);
    EXPECT_EQ(picture.inkOf(Theme::accent, {0, 140, 960, 20}).minX, 606);
}

TEST_F(ScaleScreenTest, DrumsGreyTheGridOut) {
    settings.drums = true;
    settings.scaleIndex = 13;
    const Picture picture = draw("drums");
    EXPECT_NEAR(picture.ink({72, 22, 285, 26}).width(), canvas.textWidth("Drums", canvas.font(19, FontWeight::bold)),
                2.5);
    EXPECT_EQ(picture.count(Theme::accent, {361, 20, 599, 120}), 0);
    const Box box = picture.inkOf(Theme::divider, {361, 20, 599, 120});
    EXPECT_EQ(box.minX, 606);
    EXPECT_EQ(box.minY, 54);
    EXPECT_EQ(picture.strongest(slot(3, 0)), Theme::textFaint);
}

TEST_F(ScaleScreenTest, LongScaleNamesAreCutInTheirCell) {
    settings.scaleIndex = *PadEngine::scaleIndex("Phrygian Dominant");
    const Picture picture = draw("long");
    const Font valueFont = canvas.font(16, FontWeight::bold);
    ASSERT_GT(canvas.textWidth("Phrygian Dominant", valueFont), 108);
    const Box value = picture.ink({120, 72, 120, 26});
    EXPECT_GE(value.minX, 125);
    EXPECT_LE(value.maxX, 234);
}

}  // namespace
}  // namespace corvane
