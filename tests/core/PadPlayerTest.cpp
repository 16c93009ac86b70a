#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "core/PadEngine.h"
#include "core/PadPlayer.h"
#include "core/PushSettingTypes.h"

namespace corvane {
namespace {

using Notes = std::vector<Bytes>;

// The player with every callback recorded and time in the test's hands.
class PadPlayerTest : public ::testing::Test {
protected:
    void make(PadPlayer::Config config = {}) {
        player = std::make_unique<PadPlayer>(
            config,
            [this](std::span<const std::uint8_t> bytes) { notes.emplace_back(bytes.begin(), bytes.end()); },
            [this](const MIDIMessage& message) { leds.push_back(message); }, [this] { return now; },
            [this](std::optional<double> time) { schedules.push_back(time); });
    }

    void press(std::uint8_t pad, std::uint8_t velocity, std::uint8_t channel = 0) {
        player->handle(MIDIMessage::noteOn(channel, pad, velocity));
    }
    void release(std::uint8_t pad, std::uint8_t channel = 0) {
        player->handle(MIDIMessage::noteOff(channel, pad, 0));
    }
    // Runs the pending tick at its time.
    void step() {
        ASSERT_FALSE(schedules.empty());
        ASSERT_TRUE(schedules.back());
        now = *schedules.back();
        player->tick();
    }
    Notes takeNotes() { return std::exchange(notes, {}); }
    void enableRepeat(RepeatRate rate = RepeatRate::sixteenth) {
        player->update([rate](PadPlayer::Config& c) {
            c.repeatOn = true;
            c.repeatRate = rate;
        });
    }

    double now = 100.0;
    Notes notes;
    std::vector<MIDIMessage> leds;
    std::vector<std::optional<double>> schedules;
    std::unique_ptr<PadPlayer> player;
};

// --- playing -----------------------------------------------------------------------------------

TEST_F(PadPlayerTest, APressPlaysTheMappedNoteAndItsReleaseEndsIt) {
    make();
    press(37, 100);  // row 0, column 1: D
    release(37);
    press(44, 90, 3);  // row 1, column 0 on channel 3: F
    player->handle(MIDIMessage::noteOn(3, 44, 0));
    EXPECT_EQ(takeNotes(), (Notes{{0x90, 38, 100}, {0x80, 38, 0}, {0x93, 41, 90}, {0x93, 41, 0}}));
    EXPECT_TRUE(player->soundingNotes().empty());
}

TEST_F(PadPlayerTest, AccentPlaysFullVelocityAndReleaseKeepsTheReleaseVelocity) {
    PadPlayer::Config config;
    config.accent = true;
    make(config);
    press(36, 20);
    player->handle(MIDIMessage::noteOff(0, 36, 64));
    EXPECT_EQ(takeNotes(), (Notes{{0x90, 36, 127}, {0x80, 36, 64}}));
}

TEST_F(PadPlayerTest, ReleaseEndsThePressedNoteEvenAfterTheSettingsChanged) {
    make();
    press(36, 100);
    player->update([](PadPlayer::Config& c) {
        c.settings.octave = 2;
        c.settings.root = 5;
    });
    release(36);
    EXPECT_EQ(takeNotes(), (Notes{{0x90, 36, 100}, {0x80, 36, 0}}));
}

TEST_F(PadPlayerTest, TwoPadsOnOneNoteEndItOnlyWithTheLastRelease) {
    PadPlayer::Config config;
    config.settings.inKey = false;  // chromatic 4ths: (0,5) and (1,0) are both F
    make(config);
    press(41, 100);
    press(44, 80);
    release(41);
    EXPECT_EQ(takeNotes(), (Notes{{0x90, 41, 100}, {0x90, 41, 80}}));
    release(44);
    EXPECT_EQ(takeNotes(), (Notes{{0x80, 41, 0}}));
}

TEST_F(PadPlayerTest, ASecondNoteOnWithoutNoteOffEndsTheFirstBeforePlayingAgain) {
    make();
    press(36, 100);
    player->update([](PadPlayer::Config& c) { c.settings.octave = 1; });
    press(36, 70);
    release(36);
    EXPECT_EQ(takeNotes(), (Notes{{0x90, 36, 100}, {0x80, 36, 0}, {0x90, 48, 70}, {0x80, 48, 0}}));
}

TEST_F(PadPlayerTest, PadsWithoutANoteStayQuietAndDark) {
    PadPlayer::Config config;
    config.settings.drums = true;
    config.settings.octave = -3;  // base −12: the first 12 pads of block 0 have no note
    make(config);
    player->refreshLEDs();
    leds.clear();
    press(36, 100);
    release(36);
    EXPECT_TRUE(takeNotes().empty());
    EXPECT_TRUE(leds.empty());
}

TEST_F(PadPlayerTest, OtherMessagesPassThroughUnchanged) {
    make();
    player->handle(MIDIMessage::controlChange(0, 64, 127));  // sustain
    player->handle(MIDIMessage::pitchBend(0, 9000));
    player->handle(MIDIMessage::noteOn(0, 20, 100));        // below the pads
    player->handle(MIDIMessage::polyPressure(0, 100, 30));  // above the pads
    EXPECT_EQ(takeNotes(), (Notes{{0xB0, 64, 127}, {0xE0, 0x28, 0x46}, {0x90, 20, 100}, {0xA0, 100, 30}}));
}

// --- pressure, as each aftertouch mode of the Push sends it ---------------------------------------

TEST_F(PadPlayerTest, PolyPressureGoesOutOnTheHeldPadsNote) {
    // AftertouchMode::poly: one pressure per pad.
    make();
    press(37, 100);
    player->handle(MIDIMessage::polyPressure(0, 37, 55));
    player->handle(MIDIMessage::polyPressure(0, 38, 55));  // not held: dropped
    player->handle(MIDIMessage::polyPressure(0, 37, 0));
    EXPECT_EQ(takeNotes(), (Notes{{0x90, 38, 100}, {0xA0, 38, 55}, {0xA0, 38, 0}}));
}

TEST_F(PadPlayerTest, RepeatedNotesFollowThePressureOfEachMode) {
    struct Case {
        AftertouchMode mode;
        MIDIMessage pressure;  // what the Push sends while pads 36 (channel 0) and 37 are held
        std::uint8_t channelOf37;
        std::uint8_t level36, level37;
    };
    const Case cases[]{
        // Mono: one channel pressure for every held pad of the channel.
        {AftertouchMode::channel, MIDIMessage::channelPressure(0, 90), 0, 90, 90},
        // Poly: only the pad it names.
        {AftertouchMode::poly, MIDIMessage::polyPressure(0, 37, 90), 0, 100, 90},
        // MPE: each pad on a channel of its own, so channel pressure reaches only that pad.
        {AftertouchMode::mpe, MIDIMessage::channelPressure(2, 90), 2, 100, 90},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(name(c.mode)));
        notes.clear();
        schedules.clear();
        make();
        enableRepeat();
        press(36, 100);
        press(37, 100, c.channelOf37);
        player->handle(c.pressure);
        step();  // release step
        takeNotes();
        step();  // play step
        const auto on36 = std::find_if(notes.begin(), notes.end(),
                                       [](const Bytes& b) { return b[0] == 0x90 && b[1] == 36; });
        const auto on37 = std::find_if(notes.begin(), notes.end(),
                                       [](const Bytes& b) { return (b[0] & 0xF0) == 0x90 && b[1] == 38; });
        ASSERT_NE(on36, notes.end());
        ASSERT_NE(on37, notes.end());
        EXPECT_EQ((*on36)[2], c.level36);
        EXPECT_EQ((*on37)[2], c.level37);
    }
}

TEST_F(PadPlayerTest, PressureZeroFallsBackToThePressVelocityAndAccentOverridesPressure) {
    make();
    enableRepeat();
    press(36, 100);
    player->handle(MIDIMessage::polyPressure(0, 36, 90));
    player->handle(MIDIMessage::polyPressure(0, 36, 0));
    step();
    step();
    EXPECT_EQ(takeNotes().back(), (Bytes{0x90, 36, 100}));

    player->handle(MIDIMessage::polyPressure(0, 36, 30));
    player->update([](PadPlayer::Config& c) { c.accent = true; });
    step();
    step();
    EXPECT_EQ(takeNotes().back(), (Bytes{0x90, 36, 127}));
}

// --- note repeat ------------------------------------------------------------------------------

TEST_F(PadPlayerTest, RepeatAlternatesReleaseAndPlayStepsAtTheTempo) {
    make();
    enableRepeat();  // 1/16 at 120 BPM: a step of 0.0625 s
    press(36, 100);
    EXPECT_EQ(takeNotes(), (Notes{{0x90, 36, 100}}));
    ASSERT_EQ(schedules.back(), 100.0625);

    step();
    EXPECT_EQ(takeNotes(), (Notes{{0x80, 36, 0}}));
    EXPECT_EQ(schedules.back(), 100.125);
    EXPECT_TRUE(player->soundingNotes().empty());

    step();
    EXPECT_EQ(takeNotes(), (Notes{{0x90, 36, 100}}));
    EXPECT_EQ(schedules.back(), 100.1875);

    // Release mid-note: the sounding repeat ends and the timer is disarmed.
    release(36);
    EXPECT_EQ(takeNotes(), (Notes{{0x80, 36, 0}}));
    EXPECT_EQ(schedules.back(), std::nullopt);
}

TEST_F(PadPlayerTest, ReleasingARestingRepeatSendsNoSecondNoteOff) {
    make();
    enableRepeat();
    press(36, 100);
    step();  // ends the note
    takeNotes();
    release(36);
    EXPECT_TRUE(takeNotes().empty());
}

TEST_F(PadPlayerTest, LateTicksDoNotAddUpAndEarlyTicksWait) {
    make();
    enableRepeat();
    press(36, 100);
    now = 100.0625 + 0.010;  // 10 ms late
    player->tick();
    EXPECT_EQ(schedules.back(), 100.125);  // still on the grid

    takeNotes();
    now = 100.125 - 0.0003;  // a hair early: plays
    player->tick();
    EXPECT_EQ(takeNotes(), (Notes{{0x90, 36, 100}}));
    EXPECT_EQ(schedules.back(), 100.1875);

    now = 100.1875 - 0.001;  // too early: re-armed for the same time, nothing played
    player->tick();
    EXPECT_TRUE(takeNotes().empty());
    EXPECT_EQ(schedules.back(), 100.1875);

    now = 200.0;  // far behind: the next step is due at once
    player->tick();
    EXPECT_EQ(schedules.back(), 200.0);
}

TEST_F(PadPlayerTest, TempoBelowTwentyOrNotFiniteCountsAsTwenty) {
    const double atTwenty = 60.0 / 20.0 * 0.25 * 0.5;
    for (double tempo : {5.0, 0.0, -120.0, std::nan(""), std::numeric_limits<double>::infinity(),
                         -std::numeric_limits<double>::infinity()}) {
        EXPECT_EQ(PadPlayer::step(tempo, RepeatRate::sixteenth), atTwenty) << tempo;
    }
    EXPECT_EQ(PadPlayer::step(300.0, RepeatRate::thirtySecondTriplet), 60.0 / 300.0 / 12.0 * 0.5);

    PadPlayer::Config config;
    config.tempo = std::numeric_limits<double>::infinity();
    config.repeatOn = true;
    make(config);
    press(36, 100);
    EXPECT_EQ(schedules.back(), now + atTwenty);
}

TEST_F(PadPlayerTest, TurningRepeatOnAndOffWhileHolding) {
    make();
    press(36, 100);
    EXPECT_TRUE(schedules.empty());
    takeNotes();
    enableRepeat();
    ASSERT_EQ(schedules.back(), 100.0625);
    step();  // the pressed note is not part of the cycle: the release step leaves it
    EXPECT_TRUE(takeNotes().empty());
    step();  // the play step takes it over
    EXPECT_EQ(takeNotes(), (Notes{{0x80, 36, 0}, {0x90, 36, 100}}));

    player->update([](PadPlayer::Config& c) { c.repeatOn = false; });
    EXPECT_EQ(schedules.back(), std::nullopt);
    EXPECT_EQ(player->soundingNotes(), (std::vector<PadPlayer::SoundingNote>{{0, 36}}));
    release(36);
    EXPECT_EQ(takeNotes(), (Notes{{0x80, 36, 0}}));
}

TEST_F(PadPlayerTest, APressDuringTheCycleJoinsItAtTheNextPlayStep) {
    make();
    enableRepeat();
    press(36, 100);
    const std::size_t armed = schedules.size();
    press(37, 80);  // already cycling: no new schedule, its voice is left by the release step
    EXPECT_EQ(schedules.size(), armed);
    takeNotes();
    step();
    EXPECT_EQ(takeNotes(), (Notes{{0x80, 36, 0}}));
    step();
    EXPECT_EQ(takeNotes(), (Notes{{0x90, 36, 100}, {0x80, 38, 0}, {0x90, 38, 80}}));
}

TEST_F(PadPlayerTest, ReleaseAllEndsEveryVoiceAndDisarms) {
    make();
    enableRepeat();
    press(36, 100);
    press(37, 100, 1);
    takeNotes();
    player->releaseAll();
    EXPECT_EQ(takeNotes(), (Notes{{0x80, 36, 0}, {0x81, 38, 0}}));
    EXPECT_EQ(schedules.back(), std::nullopt);
    EXPECT_TRUE(player->soundingNotes().empty());
    release(36);  // nothing held any more
    player->tick();
    EXPECT_TRUE(takeNotes().empty());
}

// --- pad LEDs ---------------------------------------------------------------------------------

TEST_F(PadPlayerTest, LEDsShowTheScaleThenOnlyChanges) {
    make();
    player->refreshLEDs();
    ASSERT_EQ(leds.size(), 64u);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(leds[static_cast<std::size_t>(i)],
                  MIDIMessage::noteOn(0, static_cast<std::uint8_t>(36 + i),
                                      PadEngine::color(i / 8, i % 8, PadSettings(), PadColors::standard)));
    }
    leds.clear();
    player->refreshLEDs();
    EXPECT_TRUE(leds.empty());
}

TEST_F(PadPlayerTest, EveryPadShowingAHeldNoteLightsPressed) {
    make();
    player->refreshLEDs();
    leds.clear();
    press(36, 100);  // no other pad plays C1
    EXPECT_EQ(leds, (std::vector<MIDIMessage>{MIDIMessage::noteOn(0, 36, PushColor::green)}));
    leds.clear();
    release(36);
    EXPECT_EQ(leds, (std::vector<MIDIMessage>{MIDIMessage::noteOn(0, 36, PushColor::blue)}));

    PadPlayer::Config chromatic;
    chromatic.settings.inKey = false;
    make(chromatic);
    player->refreshLEDs();
    leds.clear();
    press(41, 100);  // F at (0,5) and (1,0)
    EXPECT_EQ(leds, (std::vector<MIDIMessage>{MIDIMessage::noteOn(0, 41, PushColor::green),
                                              MIDIMessage::noteOn(0, 44, PushColor::green)}));
}

TEST_F(PadPlayerTest, DarkTurnsOffEveryLitPad) {
    make();
    player->refreshLEDs();
    std::size_t lit = 0;
    for (const auto& m : leds) lit += m.as<MIDIMessage::NoteOn>()->velocity != 0;
    leds.clear();
    player->update([](PadPlayer::Config& c) { c.dark = true; });
    EXPECT_EQ(leds.size(), lit);
    for (const auto& m : leds) EXPECT_EQ(m.as<MIDIMessage::NoteOn>()->velocity, 0);
    leds.clear();
    press(36, 100);  // still plays, stays dark
    EXPECT_EQ(takeNotes().size(), 1u);
    EXPECT_TRUE(leds.empty());
}

TEST_F(PadPlayerTest, TicksLeaveTheLEDsAlone) {
    make();
    enableRepeat();
    press(36, 100);
    leds.clear();
    step();
    step();
    EXPECT_TRUE(leds.empty());
}

}  // namespace
}  // namespace corvane
