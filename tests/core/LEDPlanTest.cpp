#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <unordered_set>

#include "core/LEDPlan.h"
#include "core/RemoteState.h"

namespace corvane {
namespace {

using namespace StateKeys;
using PushMIDIMap::Button;
using Row = std::array<int, 8>;

constexpr int off = 0, dim = 16, bright = 127, white = 122, gray = 124, blue = 125, green = 126, red = 127;
constexpr int absent = -1;

class LEDPlanTest : public ::testing::Test {
protected:
    RemoteState state;
    LocalUI local;

    LEDValues plan(bool connected) const { return LEDPlan::plan(state, local, connected); }

    static int at(const LEDValues& p, int controller) {
        const auto it = p.find(LEDTarget::cc(static_cast<std::uint8_t>(controller)));
        return it == p.end() ? absent : it->second;
    }
    static int at(const LEDValues& p, Button button) { return at(p, PushMIDIMap::controller(button)); }
    static Row row(const LEDValues& p, int first) {
        Row r{};
        for (int i = 0; i < 8; ++i) r[i] = at(p, first + i);
        return r;
    }
    static Row upper(const LEDValues& p) { return row(p, 102); }
    static Row lower(const LEDValues& p) { return row(p, 20); }
    // Index 0 is the top scene button, controller 43.
    static Row scenes(const LEDValues& p) {
        Row r{};
        for (int k = 0; k < 8; ++k) r[k] = at(p, 43 - k);
        return r;
    }

    void set(StateKey key, std::int64_t value) { state.set(key, StateValue::number(value)); }
    void showPage(Page page) { set(Session::page, static_cast<int>(page)); }
};

// ---- Local buttons and the scene column ----

TEST_F(LEDPlanTest, NothingConnectedLightsOnlyTheLocalButtons) {
    const auto p = plan(false);
    EXPECT_EQ(p.size(), 31u);
    for (int cc : {58, 31, 55, 54, 30, 57, 56}) EXPECT_EQ(at(p, cc), dim) << cc;
    EXPECT_EQ(scenes(p), Row{});
    EXPECT_EQ(upper(p), Row{});
    EXPECT_EQ(lower(p), Row{});
    for (const auto& target : p) EXPECT_TRUE(target.first.is<LEDTarget::CC>());
}

TEST_F(LEDPlanTest, LocalButtonsShowTheirState) {
    local.pads.drums = true;
    local.accent = true;
    local.repeatOn = true;
    local.pads.octave = 4;
    auto p = plan(false);
    EXPECT_EQ(at(p, Button::layout), bright);
    EXPECT_EQ(at(p, Button::accent), bright);
    EXPECT_EQ(at(p, Button::repeatButton), bright);
    EXPECT_EQ(at(p, Button::octaveUp), off);
    EXPECT_EQ(at(p, Button::octaveDown), dim);

    local.pads.octave = -3;
    p = plan(true);
    EXPECT_EQ(at(p, Button::octaveUp), dim);
    EXPECT_EQ(at(p, Button::octaveDown), off);

    local.scaleOverlay = true;
    EXPECT_EQ(at(plan(true), Button::scale), bright);
    local.setup.open = true;
    EXPECT_EQ(at(plan(true), Button::setup), bright);
}

TEST_F(LEDPlanTest, SceneButtonsShowTheRepeatRateWhetherOrNotCubaseIsConnected) {
    local.repeatOn = true;
    for (const auto rate : allRepeatRates) {
        local.repeatRate = rate;
        Row expected;
        expected.fill(gray);
        expected[static_cast<std::size_t>(sceneButton(rate))] = white;
        EXPECT_EQ(scenes(plan(false)), expected) << name(rate);
        EXPECT_EQ(scenes(plan(true)), expected) << name(rate);
    }
    local.repeatRate = RepeatRate::sixteenth;
    EXPECT_EQ(at(plan(false), 40), white);

    local.repeatOn = false;
    Row allWhite;
    allWhite.fill(white);
    EXPECT_EQ(scenes(plan(true)), allWhite);
    EXPECT_EQ(scenes(plan(false)), Row{});
}

// ---- Cubase connected: white controls and mode buttons ----

TEST_F(LEDPlanTest, WhiteControlsAndModeButtonsAppearOnlyWhileConnected) {
    const auto disconnected = plan(false);
    const auto connected = plan(true);
    for (const auto button : LEDPlan::whiteControls) {
        EXPECT_EQ(at(disconnected, button), absent) << PushMIDIMap::name(button);
        EXPECT_EQ(at(connected, button), dim) << PushMIDIMap::name(button);
    }
    for (const auto& mode : LEDPlan::modeButtons) EXPECT_EQ(at(disconnected, mode.button), absent);
    EXPECT_EQ(at(disconnected, Button::mute), absent);
    EXPECT_EQ(at(disconnected, Button::solo), absent);
    // 31 local entries, 26 white controls, 5 mode buttons, mute and solo.
    EXPECT_EQ(connected.size(), 64u);
}

TEST_F(LEDPlanTest, TheCurrentPagesModeButtonIsBright) {
    struct Case {
        Page page;
        int mix, device, session, sessionScreen, note;
    };
    for (const auto& c :
         {Case{Page::track, dim, dim, dim, dim, bright}, Case{Page::mix, bright, dim, dim, dim, dim},
          Case{Page::device, dim, bright, dim, dim, dim},
          Case{Page::tracks, dim, dim, bright, bright, dim}}) {
        showPage(c.page);
        const auto p = plan(true);
        EXPECT_EQ(at(p, 112), c.mix) << static_cast<int>(c.page);
        EXPECT_EQ(at(p, 110), c.device) << static_cast<int>(c.page);
        EXPECT_EQ(at(p, 51), c.session) << static_cast<int>(c.page);
        EXPECT_EQ(at(p, 34), c.sessionScreen) << static_cast<int>(c.page);
        EXPECT_EQ(at(p, 50), c.note) << static_cast<int>(c.page);
    }
    set(Session::page, 9);  // no page: the track page
    EXPECT_EQ(at(plan(true), Button::note), bright);
}

// ---- Host pages ----

TEST_F(LEDPlanTest, TrackPageShowsTheSelectedTracksFlags) {
    showPage(Page::track);
    auto p = plan(true);
    Row none;
    none.fill(gray);
    EXPECT_EQ(upper(p), none);  // absent flags read as off
    EXPECT_EQ(lower(p), Row{});
    EXPECT_EQ(at(p, Button::mute), white);
    EXPECT_EQ(at(p, Button::solo), white);

    const std::array<std::uint8_t, 8> fields{ChannelField::mute,           ChannelField::solo,
                                             ChannelField::recordArm,      ChannelField::monitor,
                                             ChannelField::readAutomation, ChannelField::writeAutomation,
                                             ChannelField::editorOpen,     ChannelField::instrumentOpen};
    const Row colors{blue, green, red, white, green, red, white, white};
    for (std::size_t i = 0; i < 8; ++i) {
        state.removeAll();
        set(selectedTrack(fields[i]), 1);
        Row expected = none;
        expected[i] = colors[i];
        EXPECT_EQ(upper(plan(true)), expected) << i;
    }

    state.removeAll();
    set(selectedTrack(ChannelField::mute), 1);
    set(selectedTrack(ChannelField::solo), 1);
    p = plan(true);
    EXPECT_EQ(at(p, Button::mute), blue);
    EXPECT_EQ(at(p, Button::solo), green);

    // A flag that holds text is not set.
    state.set(selectedTrack(ChannelField::mute), StateValue::string("1"));
    EXPECT_EQ(at(plan(true), Button::mute), white);
}

TEST_F(LEDPlanTest, MixPageShowsTheMixModeAndTheBankInTheLowerMode) {
    showPage(Page::mix);
    for (int i : {0, 3, 5, 7}) set(bankChannel(i, ChannelField::exists), 1);
    set(bankChannel(3, ChannelField::solo), 1);
    set(bankChannel(5, ChannelField::mute), 1);
    set(bankChannel(5, ChannelField::recordArm), 1);
    set(bankChannel(7, ChannelField::selected), 1);
    set(bankChannel(1, ChannelField::mute), 1);  // a channel that does not exist stays dark
    set(selectedTrack(ChannelField::mute), 1);   // not what the mix page's mute button shows

    struct Case {
        std::optional<int> lowerMode;
        Row lower;
        int mute, solo;
    };
    for (const auto& c : {Case{std::nullopt, {gray, 0, 0, gray, 0, gray, 0, white}, white, white},
                          Case{1, {gray, 0, 0, gray, 0, blue, 0, gray}, blue, white},
                          Case{2, {gray, 0, 0, green, 0, gray, 0, gray}, white, green},
                          Case{3, {gray, 0, 0, gray, 0, red, 0, gray}, white, white},
                          Case{4, {gray, 0, 0, gray, 0, gray, 0, white}, white, white}}) {
        if (c.lowerMode) set(Session::lowerMode, *c.lowerMode);
        const auto p = plan(true);
        const int mode = c.lowerMode.value_or(0);
        EXPECT_EQ(lower(p), c.lower) << mode;
        EXPECT_EQ(at(p, Button::mute), c.mute) << mode;
        EXPECT_EQ(at(p, Button::solo), c.solo) << mode;
    }

    // The mix mode: absent is 0; out of range selects nothing.
    EXPECT_EQ(upper(plan(true)), (Row{white, gray, gray, gray, gray, gray, gray, gray}));
    set(Session::mixMode, 6);
    EXPECT_EQ(upper(plan(true)), (Row{gray, gray, gray, gray, gray, gray, white, gray}));
    set(Session::mixMode, 8);
    Row none;
    none.fill(gray);
    EXPECT_EQ(upper(plan(true)), none);
}

TEST_F(LEDPlanTest, DevicePageShowsTheDeviceModeAndTheSelectedTrack) {
    showPage(Page::device);
    auto p = plan(true);
    EXPECT_EQ(upper(p), (Row{white, gray, gray, 0, 0, 0, 0, 0}));
    EXPECT_EQ(lower(p), Row{});
    set(Session::deviceMode, 1);
    EXPECT_EQ(upper(plan(true)), (Row{gray, white, gray, 0, 0, 0, gray, gray}));
    set(Session::deviceMode, 2);
    EXPECT_EQ(upper(plan(true)), (Row{gray, gray, white, 0, 0, 0, 0, 0}));

    set(selectedTrack(ChannelField::solo), 1);
    p = plan(true);
    EXPECT_EQ(at(p, Button::mute), white);
    EXPECT_EQ(at(p, Button::solo), green);
}

TEST_F(LEDPlanTest, TracksPageLightsOnlyMuteAndSoloOfTheSelectedTrack) {
    showPage(Page::tracks);
    set(selectedTrack(ChannelField::mute), 1);
    set(bankChannel(0, ChannelField::exists), 1);
    const auto p = plan(true);
    EXPECT_EQ(upper(p), Row{});
    EXPECT_EQ(lower(p), Row{});
    EXPECT_EQ(at(p, Button::mute), blue);
    EXPECT_EQ(at(p, Button::solo), white);
}

// ---- Local pages over the host pages ----

TEST_F(LEDPlanTest, SetupPageShowsItsTabAndChoices) {
    local.setup.open = true;
    local.scaleOverlay = true;  // the setup page wins
    showPage(Page::mix);
    set(Session::lowerMode, 1);

    auto p = plan(true);
    EXPECT_EQ(upper(p), (Row{white, gray, gray, gray, 0, 0, 0, 0}));
    EXPECT_EQ(lower(p), (Row{gray, gray, gray, 0, gray, gray, gray, 0}));  // nothing known yet
    EXPECT_EQ(at(p, Button::mute), white);  // the host page's lights are not shown
    EXPECT_EQ(at(p, Button::solo), white);

    local.setup.preamps = {Preamp::high, Preamp::line};
    EXPECT_EQ(lower(plan(false)), (Row{gray, gray, white, 0, white, gray, gray, 0}));

    local.setup.tab = SetupTab::expression;
    p = plan(false);
    EXPECT_EQ(upper(p), (Row{gray, white, gray, gray, 0, 0, 0, 0}));
    EXPECT_EQ(lower(p), (Row{gray, gray, gray, 0, 0, 0, 0, 0}));
    local.setup.aftertouch = AftertouchMode::poly;
    EXPECT_EQ(lower(plan(false)), (Row{gray, white, gray, 0, 0, 0, 0, 0}));

    for (const auto tab : {SetupTab::display, SetupTab::diagnostics}) {
        local.setup.tab = tab;
        Row expected{gray, gray, gray, gray, 0, 0, 0, 0};
        expected[static_cast<std::size_t>(rawValue(tab))] = white;
        p = plan(true);
        EXPECT_EQ(upper(p), expected) << name(tab);
        EXPECT_EQ(lower(p), Row{}) << name(tab);
    }
}

TEST_F(LEDPlanTest, ScalePageShowsTheRootAndFixedLayout) {
    local.scaleOverlay = true;
    showPage(Page::track);
    set(selectedTrack(ChannelField::solo), 1);

    local.pads.root = 2;  // D, the third of the upper roots
    auto p = plan(true);
    EXPECT_EQ(upper(p), (Row{white, gray, gray, white, gray, gray, gray, gray}));
    EXPECT_EQ(lower(p), (Row{white, gray, gray, gray, gray, gray, gray, 0}));
    EXPECT_EQ(at(p, Button::solo), white);

    local.pads.root = 3;  // E flat, the third of the lower roots
    local.pads.fixed = true;
    p = plan(false);
    EXPECT_EQ(upper(p), (Row{white, gray, gray, gray, gray, gray, gray, white}));
    EXPECT_EQ(lower(p), (Row{white, gray, gray, white, gray, gray, gray, 0}));
}

// ---- Diff ----

TEST(LEDTarget, SetsItsLEDOnChannelZero) {
    EXPECT_EQ(LEDTarget::cc(58).message(127), MIDIMessage::controlChange(0, 58, 127));
    EXPECT_EQ(LEDTarget::note(36).message(0), MIDIMessage::noteOn(0, 36, 0));
    EXPECT_NE(LEDTarget::cc(20), LEDTarget::note(20));
    EXPECT_TRUE(LEDTarget::cc(127) < LEDTarget::note(0));
    const std::unordered_set<LEDTarget> set{LEDTarget::cc(20), LEDTarget::note(20), LEDTarget::cc(20)};
    EXPECT_EQ(set.size(), 2u);
}

TEST(LEDPlanDiff, SendsOnlyWhatChangedAndTurnsOffWhatIsNoLongerPlanned) {
    const LEDValues old{{LEDTarget::cc(58), 127},
                        {LEDTarget::cc(30), 16},
                        {LEDTarget::cc(60), 122},
                        {LEDTarget::note(40), 5}};
    EXPECT_TRUE(LEDPlan::diff(old, old).empty());

    const LEDValues now{
        {LEDTarget::cc(30), 127}, {LEDTarget::cc(60), 122}, {LEDTarget::cc(3), 16}, {LEDTarget::note(36), 9}};
    EXPECT_EQ(LEDPlan::diff(old, now), (std::vector<MIDIMessage>{
                                           MIDIMessage::controlChange(0, 3, 16),
                                           MIDIMessage::controlChange(0, 30, 127),
                                           MIDIMessage::noteOn(0, 36, 9),
                                           MIDIMessage::controlChange(0, 58, 0),
                                           MIDIMessage::noteOn(0, 40, 0),
                                       }));
    EXPECT_EQ(LEDPlan::diff({}, {{LEDTarget::cc(58), 16}}),
              (std::vector<MIDIMessage>{MIDIMessage::controlChange(0, 58, 16)}));
}

TEST_F(LEDPlanTest, DiffBetweenPlansChangesOnlyWhatTheStateChanged) {
    showPage(Page::mix);
    set(bankChannel(2, ChannelField::exists), 1);
    const auto before = plan(true);
    EXPECT_TRUE(LEDPlan::diff(before, plan(true)).empty());

    set(bankChannel(2, ChannelField::selected), 1);
    EXPECT_EQ(LEDPlan::diff(before, plan(true)),
              (std::vector<MIDIMessage>{MIDIMessage::controlChange(0, 22, white)}));

    // Cubase going away: the host lights go dark, the changed ones first.
    const auto gone = LEDPlan::diff(before, plan(false));
    EXPECT_EQ(gone.size(), 8u /* scenes */ + 9u /* display buttons */ + 33u /* no longer planned */);
    EXPECT_EQ(gone.back(), MIDIMessage::controlChange(0, 119, 0));  // undo, the highest controller
}

}  // namespace
}  // namespace corvane
