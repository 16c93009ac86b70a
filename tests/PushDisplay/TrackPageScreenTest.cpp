#include <gtest/gtest.h>

#include <array>

#include "PushDisplay/TrackPageScreen.h"
#include "core/StateKeys.h"
#include "tests/PushDisplay/HostPageTest.h"
#include "tests/PushDisplay/ScreenPicture.h"

namespace corvane {
namespace {

using testing::Picture;
namespace CF = StateKeys::ChannelField;
namespace PF = StateKeys::ParameterField;

class TrackPageScreenTest : public testing::HostPageTest<TrackPageScreen::draw> {
protected:
    void setFlag(std::uint8_t field) { state.set(StateKeys::selectedTrack(field), StateValue::number(1)); }
    void setName(std::string name) { state.set(StateKeys::selectedTrack(CF::name), StateValue::string(name)); }

    Font nameFont = canvas.font(26, FontWeight::bold);
};

TEST_F(TrackPageScreenTest, UpperLabelsFollowTheSelectedTracksFlags) {
    const std::vector<ButtonLabel> unlit{
        {"MUTE", false, Theme::mute},      {"SOLO", false, Theme::solo},      {"ARM", false, Theme::record},
        {"MONITOR", false, Theme::mute},   {"READ", false, Theme::ok},        {"WRITE", false, Theme::record},
        {"SETTINGS", false, Theme::text},  {"INSTRUMENT", false, Theme::text},
    };
    EXPECT_EQ(TrackPageScreen::upperLabels(state), unlit);

    setFlag(CF::mute);
    setFlag(CF::writeAutomation);
    state.set(StateKeys::selectedTrack(CF::solo), StateValue::number(0));
    state.set(StateKeys::selectedTrack(CF::recordArm), StateValue::string("1"));  // not a number: not set
    auto lit = unlit;
    lit[0].active = lit[5].active = true;
    EXPECT_EQ(TrackPageScreen::upperLabels(state), lit);

    const Picture picture = draw();
    EXPECT_EQ(picture.at(10, 10), Theme::mute);
    EXPECT_EQ(picture.at(5 * 120 + 10, 10), Theme::record);
    EXPECT_EQ(picture.strongest({120, 0, 480, 20}), Theme::textDim);
    EXPECT_EQ(picture.strongest({720, 0, 240, 20}), Theme::textDim);
}

TEST_F(TrackPageScreenTest, EmptyStoreDrawsTheNeutralPage) {
    const Picture picture = draw();
    EXPECT_EQ(picture.count(DisplayColor(255, 0, 255)), 0);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(picture.strongest({i * 120.0, 0, 120, 20}), Theme::textDim) << i;
    EXPECT_TRUE(picture.ink({0, 20, 25, 42}).empty());  // no swatch
    EXPECT_EQ(picture.strongest({26, 20, 640, 40}), Theme::textFaint);
    EXPECT_NEAR(picture.ink({26, 20, 640, 40}).width(), canvas.textWidth("No track selected", nameFont), 4);

    // The badge shows only the stopped symbol, ending at 946.
    const testing::Box badge = picture.ink({670, 20, 290, 42});
    EXPECT_LE(badge.maxX, 946);
    EXPECT_GE(badge.minX, 946 - canvas.textWidth("\u25A0", canvas.font(13, FontWeight::bold)) - 1);
    EXPECT_EQ(picture.strongest({670, 20, 290, 42}), Theme::textFaint);

    EXPECT_EQ(picture.count(Theme::divider, {0, 62, 960, 1}), 960);
    // Below the rule: seven column rules from y 70 to 151, nothing else.
    EXPECT_EQ(picture.count(Theme::divider, {0, 63, 960, 97}), 7 * 82);
    for (int i = 1; i < 8; ++i) {
        EXPECT_EQ(picture.at(i * 120, 70), Theme::divider);
        EXPECT_EQ(picture.at(i * 120, 151), Theme::divider);
        EXPECT_EQ(picture.at(i * 120, 152), Theme::background);
    }
    EXPECT_EQ(picture.at(0, 100), Theme::background);
    EXPECT_EQ(picture.at(959, 100), Theme::background);
}

TEST_F(TrackPageScreenTest, SwatchAndName) {
    state.set(StateKeys::selectedTrack(CF::color), StateValue::color({200, 30, 90}));
    setName("");
    Picture picture = draw();
    EXPECT_EQ(picture.at(15, 40), DisplayColor(200, 30, 90));
    const testing::Box swatch = picture.ink({0, 20, 24, 42});
    EXPECT_EQ(swatch.minX, 12);
    EXPECT_EQ(swatch.maxX, 17);
    EXPECT_EQ(swatch.minY, 26);
    EXPECT_EQ(swatch.maxY, 53);
    EXPECT_EQ(picture.strongest({26, 20, 640, 40}), Theme::textFaint);

    setName("Bass");
    picture = draw();
    EXPECT_EQ(picture.strongest({26, 20, 640, 40}), Theme::text);
    const testing::Box name = picture.ink({26, 20, 640, 40});
    EXPECT_NEAR(name.width(), canvas.textWidth("Bass", nameFont), 4);
    EXPECT_LE(name.minX, 30);

    // Too wide: cut with "…", nothing right of the rectangle grown by one pixel.
    setName(std::string(60, 'W'));
    picture = draw();
    const testing::Box cut = picture.ink({0, 20, 700, 42});
    EXPECT_LE(cut.maxX, 666);
    EXPECT_GT(cut.maxX, 640);
}

TEST_F(TrackPageScreenTest, TouchedColumnsAndSlots) {
    EXPECT_EQ(draw().count(Theme::accentDim), 0);
    const std::array<bool, 3> three{true, false, true};
    Picture picture = draw(three);
    EXPECT_EQ(picture.at(60, 120), Theme::accentDim);
    EXPECT_EQ(picture.at(180, 120), Theme::background);
    EXPECT_EQ(picture.at(300, 120), Theme::accentDim);
    EXPECT_EQ(picture.count(Theme::accentDim, {360, 0, 600, 160}), 0);

    const std::array<bool, 10> ten{false, false, false, false, false, false, false, true, true, true};
    state.set(StateKeys::parameter(7, PF::title), StateValue::string("Drive"));
    state.set(StateKeys::parameter(7, PF::value), StateValue::number(16383));
    picture = draw(ten);
    EXPECT_EQ(picture.at(900, 120), Theme::accentDim);
    EXPECT_EQ(picture.strongest({848, 70, 104, 20}, Theme::accentDim), Theme::text);
    EXPECT_EQ(picture.at(948, 145), Theme::text);  // the touched bar, full
}

}  // namespace
}  // namespace corvane
