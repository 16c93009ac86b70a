#include <gtest/gtest.h>

#include <algorithm>

#include "tests/diag/DiagHarness.h"
#include "tests/support/SimulatedPush3.h"

namespace corvane {
namespace {

using Lines = std::vector<std::string>;

class MPEProbeCommandTest : public ::testing::Test {
protected:
    std::size_t modeWrites(std::uint8_t mode) const {
        auto commands = push.commandsReceived();
        return static_cast<std::size_t>(std::count(commands.begin(), commands.end(), Bytes{0x1E, mode}));
    }

    DiagHarness diag;
    SimulatedPush3 push{diag.midi};
};

TEST_F(MPEProbeCommandTest, SwitchesToMPECountsWhatArrivesAndRestoresTheMode) {
    push.setAftertouchMode(AftertouchMode::poly);
    diag.when("Ctrl-C stops early", [&] {
        push.send(MIDIMessage::controlChange(0, 85, 127));  // a button starts the window and is counted
        push.send(MIDIMessage::noteOn(1, 60, 90));
        push.send(MIDIMessage::channelPressure(1, 40));
        push.send(MIDIMessage::channelPressure(1, 100));
        push.send(MIDIMessage::controlChange(1, 74, 10));
        push.send(MIDIMessage::controlChange(1, 74, 90));
        push.send(MIDIMessage::pitchBend(1, 12288));  // upward only: the low end stays at the centre
        push.send(MIDIMessage::noteOn(2, 64, 80));
        push.send(MIDIMessage::pitchBend(2, 0));
        push.send(MIDIMessage::noteOff(1, 60, 0));
        push.send(MIDIMessage::noteOn(2, 64, 0));
        push.send(MIDIMessage::noteOff(3, 61, 0));    // only a release
        push.send(MIDIMessage::programChange(4, 1));  // not counted
    });
    EXPECT_EQ(diag.run({"mpe-probe", "--seconds", "3"}, 0.1), 0);
    EXPECT_EQ(
        diag.lines,
        (Lines{
            "Reading your aftertouch mode before changing anything…",
            "Your aftertouch mode: 1 (polyphonic aftertouch)",
            "Setting mode 2 (MPE) …",
            "Confirmed: the Push is in mode 2 (MPE).",
            "",
            "Take your time — the 3 s only start on your first pad hit. Do all four:",
            "  1. hold a single pad and press into it (per-note pressure)",
            "  2. hold three or four pads at once (member-channel allocation)",
            "  3. slide a finger up and down on a held pad (CC 74)",
            "  4. slide a finger left and right on a held pad, as far as it goes (per-note bend)",
            "Ctrl-C stops early and still restores your mode.",
            "Heard you — collecting for 3 s from now.",
            "",
            "Window over. Writing your aftertouch mode (1, polyphonic aftertouch) back…",
            "",
            "=== what arrived, by channel (MIDI channel numbers, 1-based) ===",
            "  ch 1:  CC 85 ×1 127…127",
            "  ch 2:  1 note-on / 1 off, notes 60; channelPressure ×2 peak 100; bend ×1 raw 8192…12288 "
            "(0.0…+24.0 st at "
            "±48); CC 74 ×2 10…90 (MPE slide)",
            "  ch 3:  1 note-on / 1 off, notes 64; bend ×1 raw 0…8192 (-48.0…+0.0 st at ±48)",
            "  ch 4:  —",
            "",
            "=== note-on channel order (first 2) ===",
            "  ch2/n60 → ch3/n64",
            "",
            "=== verdict ===",
            "  mode 2 accepted:        YES, read back as 2 (MPE)",
            "  channels carrying notes: 2, 3",
            "  member channels (≠1):    2, 3",
            "  per-note pressure:       channelPressure on ch 2",
            "  per-note slide (CC 74):  on ch 2",
            "  per-note bend:           on ch 2,3",
            "  widest bend seen:        48.0 semitones at the assumed ±48 range",
            "                           (if you bent a pad fully and this is far under 48, the range "
            "differs)",
            "  controls still on ch 1:  yes",
            "",
            "Restored: your aftertouch mode is 1 (polyphonic aftertouch) again.",
            "Note: §4.2 warns 0x1E may also touch the Push's Expression/Sensitivity settings — worth a look.",
        }));
    EXPECT_EQ(push.aftertouchMode(), 1);
    EXPECT_EQ(modeWrites(2), 1u);
    EXPECT_EQ(modeWrites(1), 1u);
}

TEST_F(MPEProbeCommandTest, AlreadyInMPEWritesNothingUntilTheRestore) {
    push.setAftertouchMode(AftertouchMode::mpe);
    diag.when("Ctrl-C stops early", [&] {
        EXPECT_EQ(modeWrites(2), 0u);
        diag.interrupt();
    });
    EXPECT_EQ(diag.run({"mpe-probe"}, 0.1), 0);
    EXPECT_TRUE(diag.printed("Already in MPE — probing without writing anything."));
    const Lines verdict = diag.linesFrom("=== verdict: INCONCLUSIVE ===");
    ASSERT_EQ(verdict.size(), 12u);
    EXPECT_EQ(verdict[1], "  mode 2 accepted:        YES, read back as 2 (MPE)");
    EXPECT_EQ(verdict[10], "Restored: your aftertouch mode is 2 (MPE) again.");
    EXPECT_EQ(modeWrites(2), 1u);
}

TEST_F(MPEProbeCommandTest, TheNoteOrderStopsAt32) {
    diag.when("Ctrl-C stops early", [&] {
        for (int i = 0; i < 40; ++i)
            push.send(MIDIMessage::noteOn(static_cast<std::uint8_t>(i % 4), 60, 100));
        // Everything delivered so far reaches the probe before Ctrl-C does.
        diag.midi->waitForDeliveries();
        MainQueue::async([&] { diag.interrupt(); });
    });
    EXPECT_EQ(diag.run({"mpe-probe", "--seconds", "100"}, 0.1), 0);
    EXPECT_TRUE(diag.printed("=== note-on channel order (first 32) ==="));
    EXPECT_TRUE(diag.printed("  ch 1:  10 note-on / 0 off, notes 60"));
}

TEST_F(MPEProbeCommandTest, EndsWithoutChangingAnythingWhenThePushIsSilentOrCtrlCComesFirst) {
    push.setAnswersQueries(false);
    EXPECT_EQ(diag.run({"mpe-probe"}, 0.01), 1);
    EXPECT_EQ(diag.lines.back(),
              "The Push didn't answer the aftertouch question (SysEx 0x1F). Nothing was changed.");

    diag.lines.clear();
    diag.after(0.02, [&] { diag.interrupt(); });
    EXPECT_EQ(diag.run({"mpe-probe"}), 130);
    EXPECT_EQ(diag.lines, (Lines{"Reading your aftertouch mode before changing anything…"}));
    EXPECT_EQ(modeWrites(2), 0u);
}

TEST_F(MPEProbeCommandTest, AnUnconfirmedRestoreIsReported) {
    diag.when("Window over", [&] { push.setAnswersQueries(false); });
    diag.when("Ctrl-C stops early", [&] { diag.interrupt(); });
    EXPECT_EQ(diag.run({"mpe-probe"}, 0.05), 1);
    EXPECT_EQ(diag.lines.back(),
              "The Push didn't confirm the restore. Check it with: corvane-diag aftertouch");
}

TEST_F(MPEProbeCommandTest, ASecondsValueThatIsNoTimeIsRefused) {
    EXPECT_EQ(diag.run({"mpe-probe", "--seconds", "inf"}), 1);
    EXPECT_EQ(diag.run({"mpe-probe", "--seconds", "1e300"}), 1);
    diag.midi->settle();
    EXPECT_TRUE(push.received().empty());
}

}  // namespace
}  // namespace corvane
