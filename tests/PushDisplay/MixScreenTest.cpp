#include <gtest/gtest.h>

#include <array>

#include "PushDisplay/MixScreen.h"
#include "core/StateKeys.h"
#include "tests/PushDisplay/HostPageTest.h"
#include "tests/PushDisplay/ScreenDemoState.h"
#include "tests/PushDisplay/ScreenPicture.h"

namespace corvane {
namespace {

using testing::Picture;
using StateKeys::bankChannel;
namespace CF = StateKeys::ChannelField;
namespace PF = StateKeys::ParameterField;

class MixScreenTest : public testing::HostPageTest<MixScreen::draw> {
protected:
    // A channel in column i whose slot holds a value.
    void channel(int i) {
        set(bankChannel(i, CF::exists), 1);
        set(StateKeys::parameter(i, PF::title), "Send FX");
        set(StateKeys::parameter(i, PF::valueText), "-6.0 dB");
        set(StateKeys::parameter(i, PF::value), 16383 / 2);
    }
    static Rect column(int i, double top, double height) { return {i * 120.0, top, 120, height}; }
};

TEST_F(MixScreenTest, EmptyStateDrawsTabsAndDividersOnly) {
    const Picture picture = draw();
    EXPECT_EQ(picture.count(DisplayColor(255, 0, 255)), 0);
    EXPECT_EQ(picture.at(10, 10), Theme::accent);  // VOLUME lit
    for (int i = 1; i < 8; ++i) EXPECT_EQ(picture.strongest(column(i, 0, 20)), Theme::textDim) << i;
    EXPECT_EQ(picture.count(Theme::divider), 7 * 116);
    for (int i = 1; i < 8; ++i) {
        EXPECT_EQ(picture.at(i * 120, 22), Theme::divider);
        EXPECT_EQ(picture.at(i * 120, 137), Theme::divider);
        EXPECT_EQ(picture.at(i * 120, 138), Theme::background);
    }
    EXPECT_TRUE(picture.ink({0, 20, 960, 140}, Theme::background).minX >= 120);
    EXPECT_TRUE(picture.ink({0, 138, 960, 22}).empty());  // eight empty lower labels
}

TEST_F(MixScreenTest, TabFollowsTheMixMode) {
    set(StateKeys::Session::mixMode, 3);
    Picture picture = draw();
    EXPECT_EQ(picture.at(3 * 120 + 10, 10), Theme::accent);
    EXPECT_EQ(picture.count(Theme::accent, {0, 0, 360, 20}), 0);
    set(StateKeys::Session::mixMode, 8);
    picture = draw();
    EXPECT_EQ(picture.count(Theme::accent), 0);
    set(StateKeys::Session::mixMode, -1);
    EXPECT_EQ(draw().count(Theme::accent), 0);
}

TEST_F(MixScreenTest, ChannelWithoutColourOrNameOrValue) {
    set(bankChannel(2, CF::exists), 1);
    const Picture picture = draw();
    const testing::Box strip = picture.inkOf(Theme::textDim, column(2, 20, 6));
    EXPECT_EQ(strip.minX, 246);
    EXPECT_EQ(strip.maxX, 353);
    EXPECT_EQ(strip.minY, 22);
    EXPECT_EQ(strip.maxY, 24);
    EXPECT_TRUE(picture.ink({246, 25, 100, 83}).empty());  // no name, value, title or bar
    EXPECT_EQ(picture.count(Theme::divider, {348, 48, 5, 60}), 300);  // an empty meter
    // Three off chips, outlined; the lower label "SELECT", unlit.
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(picture.at(252 + 32 * k + 13, 114), Theme::divider) << k;
        EXPECT_EQ(picture.strongest({252 + 32.0 * k + 2, 116, 22, 12}), Theme::textFaint) << k;
    }
    EXPECT_EQ(picture.strongest(column(2, 139, 21)), Theme::textDim);
    EXPECT_TRUE(picture.ink(column(1, 139, 21)).empty());
}

TEST_F(MixScreenTest, StripColourNameValueBarMeterAndChips) {
    channel(4);
    state.set(bankChannel(4, CF::color), StateValue::color({10, 200, 100}));
    set(bankChannel(4, CF::name), "Drums");
    set(bankChannel(4, CF::meter), 16383);
    set(bankChannel(4, CF::mute), 1);
    set(bankChannel(4, CF::recordArm), 1);
    const Picture picture = draw();
    EXPECT_EQ(picture.at(490, 23), DisplayColor(10, 200, 100));
    EXPECT_EQ(picture.strongest({486, 26, 108, 18}), Theme::textDim);
    const testing::Box value = picture.ink({484, 46, 102, 28});
    EXPECT_NEAR(value.midX(), 535, 1.5);
    EXPECT_EQ(picture.at(520, 97), Theme::accent);  // bar half full from x 488
    EXPECT_EQ(picture.at(560, 97), Theme::divider);
    // Full meter: the upper 9 pixels hot.
    EXPECT_EQ(picture.count(Theme::meterHot, {588, 48, 5, 60}), 5 * 9);
    EXPECT_EQ(picture.count(Theme::meter, {588, 48, 5, 60}), 5 * 51);
    EXPECT_EQ(picture.at(590, 56), Theme::meterHot);
    EXPECT_EQ(picture.at(590, 57), Theme::meter);
    EXPECT_EQ(picture.at(494, 116), Theme::mute);
    EXPECT_EQ(picture.at(526 + 2, 116), Theme::background);  // solo off: outline only
    EXPECT_EQ(picture.at(558 + 2, 116), Theme::record);

    set(bankChannel(4, CF::meter), 13925);  // just under 0.85
    EXPECT_EQ(draw().count(Theme::meterHot, {588, 48, 5, 60}), 0);
}

TEST_F(MixScreenTest, SelectedAndTouchedColumns) {
    channel(0);
    channel(1);
    set(bankChannel(1, CF::selected), 1);
    set(bankChannel(1, CF::name), "Vox");
    const std::array<bool, 1> touched{true};
    const Picture picture = draw(touched);
    EXPECT_EQ(picture.at(60, 130), Theme::accentDim);
    EXPECT_EQ(picture.at(180, 130), Theme::panel);
    EXPECT_EQ(picture.strongest({126, 26, 108, 18}, Theme::panel), Theme::text);
    EXPECT_EQ(picture.at(30, 97), Theme::text);   // touched bar
    EXPECT_EQ(picture.at(150, 97), Theme::accent);
    const testing::Box large = picture.ink({4, 46, 102, 28}, Theme::accentDim);
    const testing::Box small = picture.ink({124, 46, 102, 28}, Theme::panel);
    EXPECT_GT(large.width(), small.width());
    EXPECT_GT(large.maxY - large.minY, small.maxY - small.minY);
    // Lower row: SELECT unlit, SELECTED lit in the text colour.
    EXPECT_EQ(picture.strongest(column(0, 139, 21)), Theme::textDim);
    EXPECT_EQ(picture.at(130, 150), Theme::text);

    // A touched column without a channel shows nothing.
    const std::array<bool, 4> fourth{false, false, false, true};
    EXPECT_TRUE(draw(fourth).ink({361, 20, 119, 140}).empty());
}

TEST_F(MixScreenTest, SlotTitlesOnlyOnSendTabs) {
    channel(0);
    const Rect title{4, 77, 102, 11};
    EXPECT_TRUE(draw().ink(title).empty());
    set(StateKeys::Session::mixMode, 1);
    EXPECT_TRUE(draw().ink(title).empty());
    for (std::int64_t mode : {2, 7, 12}) {
        set(StateKeys::Session::mixMode, mode);
        // Small regular type never covers a whole pixel: near the colour is all it reaches.
        EXPECT_LT(testing::distance(draw().strongest(title), Theme::textFaint), 12) << mode;
    }
}

TEST_F(MixScreenTest, LowerRowFollowsTheLowerMode) {
    for (int i = 0; i < 4; ++i) channel(i);
    set(bankChannel(1, CF::mute), 1);
    set(bankChannel(2, CF::solo), 1);
    set(bankChannel(3, CF::recordArm), 1);
    const struct {
        std::int64_t mode;
        int litColumn;
        DisplayColor color;
    } cases[] = {{1, 1, Theme::mute}, {2, 2, Theme::solo}, {3, 3, Theme::record}};
    for (const auto& c : cases) {
        set(StateKeys::Session::lowerMode, c.mode);
        const Picture picture = draw();
        EXPECT_EQ(picture.at(c.litColumn * 120 + 10, 150), c.color) << c.mode;
        EXPECT_EQ(picture.count(c.color, {0, 139, 960, 21}), picture.count(c.color, column(c.litColumn, 139, 21)))
            << c.mode;
    }
    set(StateKeys::Session::lowerMode, 4);
    const Picture select = draw();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(select.strongest(column(i, 139, 21)), Theme::textDim) << i;
}

TEST_F(MixScreenTest, FullStateFillsEveryStripWithinItsColumn) {
    testing::fillDemoState(state);
    const std::array<bool, 8> touched{false, false, true};
    const Picture picture = draw(touched);
    EXPECT_EQ(picture.count(DisplayColor(255, 0, 255)), 0);
    for (int i = 0; i < 8; ++i) EXPECT_FALSE(picture.ink({i * 120.0 + 4, 46, 102, 28}).empty()) << i;
    // A long name is cut inside its strip.
    const testing::Box name = picture.ink({481, 26, 119, 18});
    EXPECT_GE(name.minX, 485);
    EXPECT_LE(name.maxX, 595);
}

}  // namespace
}  // namespace corvane
