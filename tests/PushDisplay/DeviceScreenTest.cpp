#include <gtest/gtest.h>

#include <array>

#include "PushDisplay/DeviceScreen.h"
#include "core/StateKeys.h"
#include "tests/PushDisplay/HostPageTest.h"
#include "tests/PushDisplay/ScreenPicture.h"

namespace corvane {
namespace {

using testing::Picture;
namespace CF = StateKeys::ChannelField;

class DeviceScreenTest : public testing::HostPageTest<DeviceScreen::draw> {
protected:
    // The title's and the subtitle's measured ink.
    testing::Box title(const Picture& picture) { return picture.ink({0, 20, 590, 42}); }
    testing::Box subtitle(const Picture& picture) { return picture.ink({596, 20, 364, 42}); }
    double titleWidth(const std::string& text) { return canvas.textWidth(text, canvas.font(24, FontWeight::bold)); }
    double subtitleWidth(const std::string& text) { return canvas.textWidth(text, canvas.font(13)); }
};

TEST_F(DeviceScreenTest, UpperLabelsByDeviceMode) {
    auto labels = [](bool slots, int lit) {
        std::vector<ButtonLabel> l{{"INSTRUMENT", lit == 0, Theme::accent}, {"INSERTS", lit == 1, Theme::accent},
                                   {"QUICK CTRL", lit == 2, Theme::accent}, ButtonLabel::none,
                                   ButtonLabel::none,                       ButtonLabel::none,
                                   {slots ? "\u25C0 SLOT" : "", false, Theme::accent},
                                   {slots ? "SLOT \u25B6" : "", false, Theme::accent}};
        return l;
    };
    EXPECT_EQ(DeviceScreen::upperLabels(state), labels(false, 0));
    set(StateKeys::Session::deviceMode, 1);
    EXPECT_EQ(DeviceScreen::upperLabels(state), labels(true, 1));
    set(StateKeys::Session::deviceMode, 2);
    EXPECT_EQ(DeviceScreen::upperLabels(state), labels(false, 2));
    set(StateKeys::Session::deviceMode, 5);
    EXPECT_EQ(DeviceScreen::upperLabels(state), labels(false, -1));
}

TEST_F(DeviceScreenTest, EmptyStateDrawsTheNeutralPage) {
    const Picture picture = draw();
    EXPECT_EQ(picture.count(DisplayColor(255, 0, 255)), 0);
    EXPECT_EQ(picture.at(10, 10), Theme::accent);
    EXPECT_EQ(picture.count(Theme::accent), picture.count(Theme::accent, {0, 0, 120, 20}));
    EXPECT_EQ(picture.strongest({0, 20, 590, 42}), Theme::text);
    EXPECT_NEAR(title(picture).width(), titleWidth("No instrument"), 4);
    EXPECT_LE(title(picture).minX, 17);
    EXPECT_TRUE(subtitle(picture).empty());
    EXPECT_EQ(picture.count(Theme::divider, {0, 62, 960, 1}), 960);
    EXPECT_EQ(picture.count(Theme::divider, {0, 63, 960, 97}), 7 * 82);
    EXPECT_TRUE(picture.ink({1, 63, 119, 97}).empty());

    // Empty slots still light up while touched.
    const std::array<bool, 2> second{false, true};
    const Picture touched = draw(second);
    EXPECT_EQ(touched.at(180, 120), Theme::accentDim);
    EXPECT_EQ(touched.count(Theme::accentDim), touched.count(Theme::accentDim, {120, 64, 120, 96}));
}

TEST_F(DeviceScreenTest, TitleByModeAndName) {
    set(StateKeys::Session::deviceMode, 1);
    EXPECT_NEAR(title(draw()).width(), titleWidth("No insert plug-in"), 4);
    set(StateKeys::Device::name, "Compressor");
    EXPECT_NEAR(title(draw()).width(), titleWidth("Compressor"), 4);
    set(StateKeys::Session::deviceMode, 2);
    set(StateKeys::Device::bankTitle, "Bank 2");
    set(StateKeys::selectedTrack(CF::name), "Bass");
    Picture picture = draw();
    EXPECT_NEAR(title(picture).width(), titleWidth("Quick Controls"), 4);
    EXPECT_NEAR(subtitle(picture).width(), subtitleWidth("Bass"), 3);  // never the bank title
    set(StateKeys::Session::deviceMode, 9);
    state.set(StateKeys::Device::name, StateValue::string(""));
    EXPECT_NEAR(title(draw()).width(), titleWidth("No instrument"), 4);

    set(StateKeys::Device::name, std::string(50, 'M'));
    picture = draw();
    EXPECT_LE(title(picture).maxX, 575);
    EXPECT_GT(title(picture).maxX, 540);
}

TEST_F(DeviceScreenTest, SubtitleJoinsTrackAndBank) {
    set(StateKeys::selectedTrack(CF::name), "Bass");
    set(StateKeys::Device::bankTitle, "");
    Picture picture = draw();
    EXPECT_NEAR(subtitle(picture).width(), subtitleWidth("Bass"), 3);
    EXPECT_LE(subtitle(picture).maxX, 946);
    EXPECT_GE(subtitle(picture).maxX, 942);
    EXPECT_EQ(picture.strongest({596, 20, 364, 42}), Theme::textDim);

    set(StateKeys::Device::bankTitle, "EQ");
    EXPECT_NEAR(subtitle(draw()).width(), subtitleWidth("Bass  \u00B7  EQ"), 3);

    // Without a track the separator still leads; its blanks leave no ink.
    state.clearObject(StateKeys::Object::selectedTrack);
    picture = draw();
    EXPECT_NEAR(subtitle(picture).minX, 946 - subtitleWidth("  \u00B7  EQ") + subtitleWidth("  "), 3);
    EXPECT_GE(subtitle(picture).maxX, 942);
}

}  // namespace
}  // namespace corvane
