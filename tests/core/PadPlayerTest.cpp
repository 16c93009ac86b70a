#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/PadEngine.h"
#include "core/PadPlayer.h"
#include "core/PushSettingTypes.h"

namespace corvane {
namespace {

using Notes = std::vector<Bytes>;
using LEDs = std::vector<MIDIMessage>;

// The player with every callback recorded and time in the test's hands.
class PadPlayerTest : public ::testing::Test {
protected:
    void make(PadPlayer::Config config = {}) {
        player = std::make_unique<PadPlayer>(
            config,
            [this](std::span<const std::uint8_t> b) {
                notes.emplace_back(b.begin(), b.end());
                return true;
            },
            [this](const MIDIMessage& m) { leds.push_back(m); }, [this] { return now; },
            [this](std::optional<double> time) { schedule = time; });
    }
    void press(std::uint8_t pad, std::uint8_t velocity, std::uint8_t channel = 0) {
        player->handle(MIDIMessage::noteOn(channel, pad, velocity));
    }
    void release(std::uint8_t pad, std::uint8_t channel = 0) {
        player->handle(MIDIMessage::noteOff(channel, pad, 0));
    }
    void change(const std::function<void(PadPlayer::Config&)>& f) { player->update(f); }
    // Runs the pending repeat step at its time.
    void step() {
        ASSERT_TRUE(schedule);
        now = *schedule;
        player->tick();
    }
    Notes take() { return std::exchange(notes, {}); }

    double now = 100.0;
    Notes notes;
    LEDs leds;
    std::optional<double> schedule;
    std::unique_ptr<PadPlayer> player;
};

PadPlayer::Config repeating() {
    PadPlayer::Config config;
    config.repeatOn = true;  // 1/16 at 120 BPM: a step of 0.0625 s
    return config;
}

TEST_F(PadPlayerTest, PressesPlayTheMappedNoteAndReleasesEndTheNoteThatWasPressed) {
    make();
    press(37, 100);  // row 0, column 1: D
    release(37);
    press(44, 90, 3);  // row 1, column 0 on channel 3: F
    change([](auto& c) { c.settings.octave = 2; });
    player->handle(MIDIMessage::noteOn(3, 44, 0));  // note-on form, still F1
    change([](auto& c) { c.accent = true; });
    press(36, 20);
    player->handle(MIDIMessage::noteOff(0, 36, 64));
    EXPECT_EQ(
        take(),
        (Notes{
            {0x90, 38, 100}, {0x80, 38, 0}, {0x93, 41, 90}, {0x93, 41, 0}, {0x90, 60, 127}, {0x80, 60, 64}}));

    player->handle(MIDIMessage::controlChange(0, 64, 127));
    player->handle(MIDIMessage::noteOn(0, 20, 100));        // below the pads
    player->handle(MIDIMessage::polyPressure(0, 100, 30));  // above them
    EXPECT_EQ(take(), (Notes{{0xB0, 64, 127}, {0x90, 20, 100}, {0xA0, 100, 30}}));
    EXPECT_TRUE(player->soundingNotes().empty());
}

TEST_F(PadPlayerTest, EveryNoteOnGetsExactlyOneNoteOff) {
    PadPlayer::Config config;
    config.settings.inKey = false;  // chromatic 4ths: pads (0,5) and (1,0) both play F
    make(config);
    press(41, 100);
    press(44, 80);
    release(41);
    EXPECT_EQ(take(), (Notes{{0x90, 41, 100}, {0x90, 41, 80}}));
    release(44);
    EXPECT_EQ(take(), (Notes{{0x80, 41, 0}}));

    // A second note-on without a note-off ends the first before playing again.
    press(36, 100);
    change([](auto& c) { c.settings.octave = 1; });
    press(36, 70);
    release(36);
    release(36);
    EXPECT_EQ(take(), (Notes{{0x90, 36, 100}, {0x80, 36, 0}, {0x90, 48, 70}, {0x80, 48, 0}}));

    // Pads without a note neither sound nor light.
    change([](auto& c) {
        c.settings.drums = true;
        c.settings.octave = -3;
    });
    leds.clear();
    press(36, 100);
    release(36);
    EXPECT_TRUE(take().empty());
    EXPECT_TRUE(leds.empty());
}

TEST_F(PadPlayerTest, RepeatedNotesFollowThePressureOfEachAftertouchMode) {
    struct Case {
        AftertouchMode mode;
        MIDIMessage pressure;  // what the Push sends while pads 36 (channel 0) and 37 are held
        std::uint8_t channelOf37, level36, level37;
        Notes passedOn;
    };
    const Case cases[]{
        // Mono: one pressure for every held pad of the channel.
        {AftertouchMode::channel, MIDIMessage::channelPressure(0, 90), 0, 90, 90, {{0xD0, 90}}},
        // Poly: only the pad it names, sent on as that pad's note.
        {AftertouchMode::poly, MIDIMessage::polyPressure(0, 37, 90), 0, 100, 90, {{0xA0, 38, 90}}},
        // MPE: each pad on a channel of its own.
        {AftertouchMode::mpe, MIDIMessage::channelPressure(2, 90), 2, 100, 90, {{0xD2, 90}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(name(c.mode)));
        make(repeating());
        press(36, 100);
        press(37, 100, c.channelOf37);
        take();
        player->handle(c.pressure);
        EXPECT_EQ(take(), c.passedOn);
        step();  // release step
        take();
        step();  // play step; pad 37 joined the cycle late, so its own note ends first
        const auto channel = c.channelOf37;
        EXPECT_EQ(take(), (Notes{{0x90, 36, c.level36},
                                 {static_cast<std::uint8_t>(0x80 | channel), 38, 0},
                                 {static_cast<std::uint8_t>(0x90 | channel), 38, c.level37}}));
    }

    // Pressure 0 falls back to the press velocity; accent beats any pressure.
    player->handle(MIDIMessage::channelPressure(2, 0));
    player->handle(MIDIMessage::polyPressure(0, 38, 5));  // not held: dropped
    EXPECT_EQ(take(), (Notes{{0xD2, 0}}));
    step();
    step();
    EXPECT_EQ(take().back(), (Bytes{0x92, 38, 100}));
    change([](auto& c) { c.accent = true; });
    step();
    step();
    EXPECT_EQ(take().back(), (Bytes{0x92, 38, 127}));
}

TEST_F(PadPlayerTest, RepeatPlaysOnTheTempoGridUntilRelease) {
    make(repeating());
    press(36, 100);
    EXPECT_EQ(take(), (Notes{{0x90, 36, 100}}));
    ASSERT_EQ(schedule, 100.0625);
    step();
    EXPECT_EQ(take(), (Notes{{0x80, 36, 0}}));
    now = 100.125 - 0.0003;  // a hair early: plays
    player->tick();
    EXPECT_EQ(take(), (Notes{{0x90, 36, 100}}));
    EXPECT_EQ(schedule, 100.1875);
    now = 100.1875 - 0.001;  // too early: waits for the same time
    player->tick();
    EXPECT_TRUE(take().empty());
    EXPECT_EQ(schedule, 100.1875);
    now = 100.1875 + 0.01;  // late: the next step stays on the grid
    player->tick();
    EXPECT_EQ(schedule, 100.25);
    step();
    take();
    now = 200.0;  // an ending far behind: sent, and the next step due at once
    player->tick();
    EXPECT_EQ(take(), (Notes{{0x80, 36, 0}}));
    EXPECT_EQ(schedule, 200.0);
    step();
    take();

    release(36);  // the note is sounding: it ends, and the timer is disarmed
    EXPECT_EQ(take(), (Notes{{0x80, 36, 0}}));
    EXPECT_EQ(schedule, std::nullopt);
    press(36, 100);
    step();
    release(36);  // resting: no second note-off
    EXPECT_EQ(take(), (Notes{{0x90, 36, 100}, {0x80, 36, 0}}));
}

// The machine froze (stopped, suspended) with a pad held: its release may be waiting unread, or
// lost, so a step to play that comes that late plays nothing and the cycle starts again from now.
TEST_F(PadPlayerTest, ARepeatStepDueFarTooLateIsSkippedAndTheCycleStartsAgainFromNow) {
    make(repeating());  // a step of 0.0625 s
    press(36, 100);
    step();
    take();
    now = *schedule + 0.09;  // late, but within a tenth of a second: plays
    player->tick();
    EXPECT_EQ(take(), (Notes{{0x90, 36, 100}}));
    step();
    take();
    now = *schedule + 0.11;
    player->tick();
    EXPECT_TRUE(take().empty());
    EXPECT_EQ(schedule, now + 0.0625);
    step();  // the pad still held plays at the next step
    EXPECT_EQ(take(), (Notes{{0x90, 36, 100}}));

    // A slow step is late only by more than itself.
    change([](auto& c) { c.tempo = 30.0; });  // a step of 0.25 s
    step();
    take();
    now = *schedule + 0.2;
    player->tick();
    EXPECT_EQ(take(), (Notes{{0x90, 36, 100}}));
    step();
    take();
    now = *schedule + 0.26;
    player->tick();
    EXPECT_TRUE(take().empty());
    EXPECT_EQ(schedule, now + 0.25);
}

TEST_F(PadPlayerTest, TempoBelowTwentyOrNotFiniteCountsAsTwenty) {
    const double atTwenty = 60.0 / 20.0 * 0.25 * 0.5;
    for (double tempo : {5.0, -120.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
        EXPECT_EQ(PadPlayer::step(tempo, RepeatRate::sixteenth), atTwenty) << tempo;
    }
    PadPlayer::Config config = repeating();
    config.tempo = std::numeric_limits<double>::infinity();
    make(config);
    press(36, 100);
    EXPECT_EQ(schedule, now + atTwenty);
}

TEST_F(PadPlayerTest, RepeatJoinsAndLeavesWhilePadsAreHeld) {
    make();
    press(36, 100);
    change([](auto& c) { c.repeatOn = true; });
    ASSERT_EQ(schedule, 100.0625);
    press(37, 80);  // the cycle is under way: its release step leaves both presses alone
    take();
    step();
    EXPECT_TRUE(take().empty());
    step();  // the play step takes them over
    EXPECT_EQ(take(), (Notes{{0x80, 36, 0}, {0x90, 36, 100}, {0x80, 38, 0}, {0x90, 38, 80}}));

    change([](auto& c) { c.repeatOn = false; });
    EXPECT_EQ(schedule, std::nullopt);
    EXPECT_EQ(player->soundingNotes(), (std::vector<PadPlayer::SoundingNote>{{0, 36}, {0, 38}}));

    player->releaseAll();
    EXPECT_EQ(take(), (Notes{{0x80, 36, 0}, {0x80, 38, 0}}));
    release(36);
    player->tick();
    EXPECT_TRUE(take().empty());
}

TEST_F(PadPlayerTest, LEDsShowTheScaleAndEveryPadOfAHeldNote) {
    PadPlayer::Config config;
    config.settings.inKey = false;
    make(config);
    player->refreshLEDs();
    ASSERT_EQ(leds.size(), 64u);
    for (std::uint8_t i = 0; i < 64; ++i) {
        EXPECT_EQ(leds[i], MIDIMessage::noteOn(
                               0, 36 + i, PadEngine::color(i / 8, i % 8, config.settings, config.colors)));
    }
    leds.clear();
    player->refreshLEDs();
    EXPECT_TRUE(leds.empty());

    press(41, 100);  // F shows at (0,5) and (1,0)
    EXPECT_EQ(leds, (LEDs{MIDIMessage::noteOn(0, 41, PushColor::green),
                          MIDIMessage::noteOn(0, 44, PushColor::green)}));
    change([](auto& c) { c.repeatOn = true; });
    leds.clear();
    step();
    step();
    EXPECT_TRUE(leds.empty());  // ticks leave the LEDs alone
    release(41);
    EXPECT_EQ(leds, (LEDs{MIDIMessage::noteOn(0, 41, PushColor::white),
                          MIDIMessage::noteOn(0, 44, PushColor::white)}));

    leds.clear();
    change([](auto& c) { c.dark = true; });
    EXPECT_FALSE(leds.empty());
    for (const auto& m : leds) EXPECT_EQ(m.as<MIDIMessage::NoteOn>()->velocity, 0);
    leds.clear();
    press(36, 100);  // still plays, stays dark
    EXPECT_TRUE(leds.empty());
}

}  // namespace
}  // namespace corvane
