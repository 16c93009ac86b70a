#include <gtest/gtest.h>

#include "PushDisplay/ParameterColumn.h"
#include "tests/PushDisplay/ScreenPicture.h"

namespace corvane {
namespace {

using testing::Picture;

class ParameterColumnTest : public ::testing::Test {
protected:
    void SetUp() override { canvas.clear(Theme::background); }
    Picture draw(int index, double top, ParameterColumnModel model) {
        canvas.clear(Theme::background);
        ParameterColumn::draw(canvas, index, top, model);
        return Picture(canvas);
    }
    static ParameterColumnModel bar(double value, bool bipolar) { return {"", "", value, bipolar, false, true}; }
    Canvas canvas;
};

TEST_F(ParameterColumnTest, DisabledColumnShowsAtMostTheHighlight) {
    ParameterColumnModel model{"Title", "Value", 0.5, false, false, false};
    EXPECT_TRUE(draw(2, 64, model).ink(Picture::whole).empty());

    model.touched = true;
    const Picture picture = draw(2, 64, model);
    const testing::Box drawn = picture.ink(Picture::whole);
    EXPECT_EQ(drawn.minX, 242);
    EXPECT_EQ(drawn.maxX, 357);
    EXPECT_EQ(drawn.minY, 66);
    EXPECT_EQ(drawn.maxY, 157);
    EXPECT_EQ(picture.inkOf(Theme::accent).maxY, 68);
    EXPECT_EQ(picture.inkOf(Theme::accent).width(), 116);
    EXPECT_EQ(picture.at(300, 100), Theme::accentDim);
    EXPECT_EQ(picture.count(Theme::text), 0);
}

TEST_F(ParameterColumnTest, BarsFillFromTheLeftOrTheCentre) {
    // Column 1: inner x 128...232, centre 180; the bar is y 142...147.
    const Picture quarter = draw(1, 64, bar(0.25, false));
    const testing::Box fill = quarter.inkOf(Theme::accent);
    EXPECT_EQ(fill.minY, 142);
    EXPECT_EQ(fill.maxY, 147);
    EXPECT_NEAR(fill.maxX, 128 + 26, 1);
    EXPECT_TRUE(quarter.ink({0, 0, 960, 142}).empty());

    const testing::Box mark = draw(1, 64, bar(0.5, true)).inkOf(Theme::accent);
    EXPECT_EQ(mark.minX, 180);
    EXPECT_EQ(mark.maxX, 181);
    EXPECT_NEAR(draw(1, 64, bar(0, true)).inkOf(Theme::accent).maxX, 179, 0);
    EXPECT_EQ(draw(1, 64, bar(1, true)).inkOf(Theme::accent).minX, 180);

    EXPECT_EQ(draw(1, 64, bar(1.3, false)).at(230, 145), Theme::accent);
    const Picture none = draw(1, 64, bar(-0.2, false));
    EXPECT_EQ(none.count(Theme::accent), 0);
    EXPECT_EQ(none.at(180, 145), Theme::divider);
}

TEST_F(ParameterColumnTest, TouchChangesHighlightTitleValueSizeAndBar) {
    ParameterColumnModel model{"Cutoff", "880", 0.6, false, false, true};
    const Picture plain = draw(0, 64, model);
    model.touched = true;
    const Picture touched = draw(0, 64, model);

    EXPECT_EQ(plain.strongest({8, 70, 104, 20}), Theme::textDim);
    EXPECT_EQ(touched.strongest({8, 70, 104, 20}, Theme::accentDim), Theme::text);
    EXPECT_EQ(plain.at(60, 145), Theme::accent);
    EXPECT_EQ(touched.at(60, 145), Theme::text);
    const testing::Box small = plain.ink({8, 90, 104, 32});
    const testing::Box large = touched.ink({8, 90, 104, 32}, Theme::accentDim);
    EXPECT_GT(large.width(), small.width());
    EXPECT_GT(large.maxY - large.minY, small.maxY - small.minY);
    EXPECT_NEAR(small.midX(), 60, 1.5);
}

TEST_F(ParameterColumnTest, TextSitsBelowTheTopAndIsCut) {
    const std::string longTitle = "A parameter name far too long for one column";
    const Picture picture = draw(7, 64, {longTitle, "12", std::nullopt, false, false, true});
    const testing::Box title = picture.ink({840, 64, 120, 24});
    EXPECT_GE(title.minY, 72 - 4);
    EXPECT_LE(title.maxY, 88 + 4);
    EXPECT_GE(title.minX, 847);
    EXPECT_LE(title.maxX, 953);
    EXPECT_GT(title.width(), 90);
    const testing::Box value = picture.ink({840, 88, 120, 72});
    EXPECT_GE(value.minY, 92 - 4);
    EXPECT_LE(value.maxY, 118 + 4);
    EXPECT_TRUE(picture.ink({0, 0, 840, 160}).empty());

    EXPECT_DEATH(ParameterColumn::draw(canvas, 8, 64, ParameterColumnModel::empty), "outside 0-7");
}

}  // namespace
}  // namespace corvane
