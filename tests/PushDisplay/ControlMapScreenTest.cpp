#include <gtest/gtest.h>

#include <string>

#include "PushDisplay/ControlMapScreen.h"
#include "tests/PushDisplay/ScreenPicture.h"

namespace corvane {
namespace {

using testing::Picture;

class ControlMapScreenTest : public ::testing::Test {
protected:
    Picture draw(const std::string& name) {
        ControlMapScreen::draw(canvas, model);
        testing::preview(canvas, "controlmap-" + name);
        return Picture(canvas);
    }
    static double left(int c) { return 120.0 * c; }
    // The ring of the arc, inside the column and clear of the texts.
    static Rect arcArea(int c) { return {left(c) + 25, 45, 70, 66}; }

    Canvas canvas;
    ControlMapModel model;
};

TEST(ControlMapModelTest, Defaults) {
    const ControlMapModel model;
    for (std::size_t c = 0; c < 8; ++c) {
        EXPECT_EQ(model.encoderValue[c], 64);
        EXPECT_EQ(model.encoderLastDelta[c], 0);
        EXPECT_FALSE(model.encoderTouched[c] || model.upperPressed[c] || model.lowerPressed[c]);
    }
    EXPECT_EQ(model.lastEvent, "touch / turn an encoder, press a button above or below the screen");
}

TEST_F(ControlMapScreenTest, DefaultColumnsAreAlike) {
    const Picture picture = draw("default");
    EXPECT_EQ(picture.count(Theme::accentDim), 0);
    EXPECT_EQ(picture.count(Theme::solo), 0);
    for (int c = 0; c < 8; ++c) {
        const double x = left(c);
        // Both chips outlined in faint, with dim labels.
        EXPECT_EQ(picture.at(int(x) + 8, 12), Theme::textFaint) << c;
        EXPECT_EQ(picture.at(int(x) + 111, 148), Theme::textFaint) << c;
        EXPECT_EQ(picture.at(int(x) + 20, 12), Theme::background) << c;
        EXPECT_EQ(picture.strongest({x + 9, 4, 102, 16}), Theme::textDim) << c;
        // The arc reaches just past the top; its right side is the bare track.
        EXPECT_EQ(picture.at(int(x) + 60, 53), Theme::accent) << c;
        EXPECT_EQ(picture.at(int(x) + 87, 80), Theme::divider) << c;
        EXPECT_EQ(picture.at(int(x) + 33, 80), Theme::accent) << c;
        EXPECT_EQ(picture.strongest({x, 26, 120, 16}), Theme::textDim) << c;
        EXPECT_NEAR(picture.ink({x + 1, 112, 118, 18}).width(), canvas.textWidth("0", canvas.font(11, FontWeight::regular, true)),
                    2) << c;
        // Dividers between columns only.
        if (c > 0) {
            EXPECT_EQ(picture.count(Theme::divider, {x, 24, 1, 112}), 112) << c;
            EXPECT_EQ(picture.at(int(x), 23), Theme::background) << c;
            EXPECT_EQ(picture.at(int(x), 136), Theme::background) << c;
        }
    }
    EXPECT_EQ(picture.count(Theme::divider, {0, 24, 1, 112}), 0);
}

TEST_F(ControlMapScreenTest, TouchedValuesAndHeldButtons) {
    model.encoderTouched[1] = true;
    model.encoderValue[1] = 100;
    model.encoderLastDelta[1] = 3;
    model.encoderValue[2] = 0;
    model.encoderLastDelta[2] = -5;
    model.encoderValue[3] = 127;
    model.upperPressed[4] = true;
    model.lowerPressed[5] = true;
    const Picture picture = draw("active");

    // Touched: the tinted column, a bright label and a bright arc.
    EXPECT_EQ(picture.at(121, 30), Theme::accentDim);
    EXPECT_EQ(picture.at(238, 100), Theme::accentDim);
    EXPECT_EQ(picture.at(120, 100), Theme::divider);
    EXPECT_EQ(picture.count(Theme::accentDim, {0, 0, 120, 160}), 0);
    EXPECT_EQ(picture.strongest({120, 26, 120, 16}, Theme::accentDim), Theme::text);
    EXPECT_EQ(picture.at(180, 53), Theme::text);
    EXPECT_EQ(picture.count(Theme::accent, arcArea(1)), 0);
    const Font delta = canvas.font(11, FontWeight::regular, true);
    EXPECT_NEAR(picture.ink({121, 112, 118, 18}, Theme::accentDim).width(), canvas.textWidth("+3", delta), 2);

    // Value 0: the track alone; 127: the full ring, no track left.
    EXPECT_EQ(picture.count(Theme::accent, arcArea(2)), 0);
    EXPECT_GT(picture.count(Theme::divider, arcArea(2)), 100);
    EXPECT_NEAR(picture.ink({241, 112, 118, 18}).width(), canvas.textWidth("-5", delta), 2);
    EXPECT_EQ(picture.count(Theme::divider, arcArea(3)), 0);
    EXPECT_GT(picture.count(Theme::accent, arcArea(3)), 100);

    // A held upper button is a yellow chip, a held lower one a blue chip.
    EXPECT_EQ(picture.inkOf(Theme::solo).minX, 488);
    EXPECT_EQ(picture.inkOf(Theme::solo).maxX, 591);
    EXPECT_EQ(picture.inkOf(Theme::solo).minY, 3);
    EXPECT_EQ(picture.inkOf(Theme::solo).maxY, 20);
    EXPECT_EQ(picture.at(500, 6), Theme::solo);
    EXPECT_EQ(picture.at(610, 142), Theme::accent);
    EXPECT_EQ(picture.count(Theme::accent, {0, 139, 600, 21}), 0);
    EXPECT_GT(picture.count(Theme::background, {609, 140, 102, 16}), 0);  // its label
}

}  // namespace
}  // namespace corvane
