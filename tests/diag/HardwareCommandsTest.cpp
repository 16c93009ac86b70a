#include <gtest/gtest.h>

#include <fstream>

#include "core/PushInputDecoder.h"
#include "corvane_diag/HardwareCommands.h"
#include "corvane_diag/InputDescription.h"
#include "corvane_diag/SettingsCommands.h"
#include "tests/diag/DiagHarness.h"
#include "tests/support/SimulatedPush3.h"

namespace corvane {
namespace {

using Lines = std::vector<std::string>;

class HardwareCommandsTest : public ::testing::Test {
protected:
    DiagHarness diag;
};

TEST_F(HardwareCommandsTest, IdentityPrintsTheReplyAndItsFields) {
    SimulatedPush3 push(diag.midi);
    EXPECT_EQ(diag.run({"identity"}), 0);
    EXPECT_EQ(diag.lines,
              (Lines{"identity reply: F0 7E 01 06 02 00 21 1D 01 00 03 00 01 05 2C 02 F7",
                     "  manufacturer 00 21 1D  family 01 00  member 03 00", "  firmware 1.5 build 300"}));
    EXPECT_EQ(push.receivedSysex().at(0), (Bytes{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}));
}

TEST_F(HardwareCommandsTest, IdentityNeverReadsTheClosingByteAsPartOfTheBuild) {
    SimulatedPush3 push(diag.midi);
    push.setIdentityReply(
        {0xF0, 0x7E, 0x00, 0x06, 0x02, 0x00, 0x21, 0x1D, 0x01, 0x00, 0x03, 0x00, 0x02, 0x01, 0x7F, 0xF7});
    EXPECT_EQ(diag.run({"identity"}), 0);
    EXPECT_EQ(diag.lines.back(), "  firmware 2.1 build 127");
    push.setIdentityReply(
        {0xF0, 0x7E, 0x00, 0x06, 0x02, 0x00, 0x21, 0x1D, 0x01, 0x00, 0x03, 0x00, 0x02, 0x01, 0xF7});
    EXPECT_EQ(diag.run({"identity"}), 0);
    EXPECT_EQ(diag.lines.back(), "  firmware 2.1 build ?");
    push.setIdentityReply({0xF0, 0x7E, 0x00, 0x06, 0x02, 0x00, 0x21, 0x1D, 0x01, 0x00, 0xF7});
    EXPECT_EQ(diag.run({"identity"}), 0);
    EXPECT_EQ(diag.lines.back(), "identity reply: F0 7E 00 06 02 00 21 1D 01 00 F7");
}

TEST_F(HardwareCommandsTest, WithoutThePushTheQueriesStopAtOnce) {
    // velocity-restore needs a backup before it looks for the Push.
    std::filesystem::create_directories(diag.dataDirectory);
    std::ofstream(diag.dataDirectory / "velocity-curve-backup.txt")
        << VelocityCurve::backupText(std::vector<int>(128, 64));
    for (const char* command : {"identity", "palette", "aftertouch", "palette-test", "push-settings",
                                "velocity-test", "velocity-restore", "mpe-probe"}) {
        diag.lines.clear();
        EXPECT_EQ(diag.run({command}), 1) << command;
        EXPECT_EQ(diag.lines, (Lines{"Push Live Port not found"})) << command;
    }
}

TEST_F(HardwareCommandsTest, UnansweredQueriesTimeOut) {
    SimulatedPush3 push(diag.midi);
    push.setAnswersQueries(false);
    EXPECT_EQ(diag.run({"identity"}, 0.01), 1);
    EXPECT_EQ(diag.lines, (Lines{"no identity reply within 2 s"}));
    diag.lines.clear();
    EXPECT_EQ(diag.run({"aftertouch"}, 0.01), 1);
    EXPECT_EQ(diag.lines, (Lines{"no reply within 2 s"}));
    diag.lines.clear();
    EXPECT_EQ(diag.run({"palette", "--from", "94", "--to", "95"}, 0.01), 1);
    EXPECT_EQ(diag.lines, (Lines{"timed out after 0 of 2 entries"}));
    diag.lines.clear();
    EXPECT_EQ(diag.run({"palette-test"}, 0.01), 1);
    EXPECT_EQ(diag.lines, (Lines{"timed out (0 replies); nothing was changed"}));
}

TEST_F(HardwareCommandsTest, PaletteTestWithoutItsReadBackPutsTheOriginalBackBeforeTimingOut) {
    SimulatedPush3 push(diag.midi);
    const PushSysEx::PaletteEntry original{.index = 94, .red = 12, .green = 34, .blue = 56, .white = 78};
    push.setPaletteEntry(original);
    push.answerQueries(1);  // the first read, then nothing
    EXPECT_EQ(diag.run({"palette-test"}, 0.01), 1);
    EXPECT_EQ(diag.lines, (Lines{"timed out (1 replies); palette entry 94 put back as it was"}));
    diag.midi->settle();
    EXPECT_EQ(push.paletteEntry(94), original);
    EXPECT_EQ(push.shownPaletteEntry(94), original);
    EXPECT_EQ(push.reapplyCount(), 1);
    const std::vector<Bytes> commands = push.commandsReceived();
    ASSERT_GE(commands.size(), 2u);
    EXPECT_EQ(commands.back(), Bytes{PushSysEx::reapplyPalette});
}

TEST_F(HardwareCommandsTest, PalettePrintsOneLineAnEntry) {
    SimulatedPush3 push(diag.midi);
    push.setPaletteEntry({.index = 94, .red = 255, .green = 10, .blue = 0, .white = 7});
    push.setPaletteEntry({.index = 95, .red = 1, .green = 2, .blue = 3, .white = 128});
    EXPECT_EQ(diag.run({"palette", "--from", "94", "--to", "95"}), 0);
    EXPECT_EQ(diag.lines, (Lines{" 94  #FF0A00  white   7", " 95  #010203  white 128"}));
}

TEST_F(HardwareCommandsTest, AftertouchNamesTheMode) {
    SimulatedPush3 push(diag.midi);
    push.setAftertouchMode(AftertouchMode::mpe);
    EXPECT_EQ(diag.run({"aftertouch"}), 0);
    push.setAftertouchModeRaw(7);
    EXPECT_EQ(diag.run({"aftertouch"}), 0);
    EXPECT_EQ(diag.lines, (Lines{"aftertouch mode 2 (MPE)", "aftertouch mode 7 (unknown)"}));
}

TEST_F(HardwareCommandsTest, PaletteTestWritesReadsBackAndRestores) {
    SimulatedPush3 push(diag.midi);
    const PushSysEx::PaletteEntry original{.index = 94, .red = 12, .green = 34, .blue = 56, .white = 78};
    push.setPaletteEntry(original);
    EXPECT_EQ(diag.run({"palette-test"}), 0);
    EXPECT_EQ(diag.lines,
              (Lines{"original  PaletteEntry(index: 94, red: 12, green: 34, blue: 56, white: 78)",
                     "after set PaletteEntry(index: 94, red: 255, green: 0, blue: 255, white: 64)",
                     "PASS: palette writes take effect (original restored)"}));
    diag.midi->settle();
    EXPECT_EQ(push.paletteEntry(94), original);
    EXPECT_EQ(push.reapplyCount(), 1);
}

TEST_F(HardwareCommandsTest, MonitorWaitsForThePushAndDescribesItsInput) {
    SimulatedPush3 push(diag.midi, false);
    diag.when("Waiting for", [&] { push.plug(); });
    diag.when("Push MIDI connected", [&] {
        push.pressPad(0, 0, 100);
        push.releasePad(0, 0);
        push.turnEncoder(0, -1);
        push.turnEncoder(0, 1);
        push.send(MIDIMessage::sysex({0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}));
    });
    diag.when("UNMAPPED", [&] { diag.interrupt(); });
    EXPECT_EQ(diag.run({"midi-monitor", "--raw"}), 130);
    EXPECT_EQ(diag.lines,
              (Lines{"Waiting for Ableton Push 3 Live Port…", "Push MIDI connected",
                     "90 24 64      pad row 1 col 1 on vel 100", "80 24 00      pad row 1 col 1 off",
                     "B0 47 7F      track encoder 1 -1", "B0 47 01      track encoder 1 +1",
                     "F0 7E 7F 06   UNMAPPED F0 7E 7F 06 01 F7"}));
}

// Kernels before 5.13 name the Push's ports "Ableton Push 3 MIDI 1" and "... MIDI 2".
TEST_F(HardwareCommandsTest, ThePushWithGenericPortNamesIsAskedAndWatchedThroughItsFirstPort) {
    SimulatedPush3 push(diag.midi, false);
    push.setPortNaming(SimulatedPush3::PortNaming::generic);
    push.plug();
    EXPECT_EQ(diag.run({"identity"}), 0);
    EXPECT_EQ(diag.lines.at(0), "identity reply: F0 7E 01 06 02 00 21 1D 01 00 03 00 01 05 2C 02 F7");

    push.unplug();
    diag.lines.clear();
    diag.when("Waiting for", [&] { push.plug(); });
    diag.when("Push MIDI connected", [&] { push.turnEncoder(0, 1); });
    diag.when("track encoder", [&] { diag.interrupt(); });
    diag.after(5.0, [&] { diag.interrupt(); });  // never binding it would wait for ever
    EXPECT_EQ(diag.run({"midi-monitor"}), 130);
    EXPECT_EQ(diag.lines,
              (Lines{"Waiting for Ableton Push 3 Live Port…", "Push MIDI connected", "track encoder 1 +1"}));
    EXPECT_TRUE(diag.midi->sentTo(push.userPort().destination).empty());
}

TEST(InputDescriptionTest, EveryKindOfControlReadsAsOneLine) {
    using I = PushInput;
    EXPECT_EQ(describe(I::trackEncoder(7, 0)), "track encoder 8 0");
    EXPECT_EQ(describe(I::trackEncoderTouch(0, true)), "track encoder 1 touched");
    EXPECT_EQ(describe(I::volumeEncoder(-3)), "volume encoder -3");
    EXPECT_EQ(describe(I::tempoEncoderTouch(false)), "tempo encoder released");
    EXPECT_EQ(describe(I::jogWheel(2)), "jog wheel +2");
    EXPECT_EQ(describe(I::upperDisplayButton(1, true)), "upper display button 2 down");
    EXPECT_EQ(describe(I::lowerDisplayButton(7, false)), "lower display button 8 up");
    EXPECT_EQ(describe(I::sceneButton(0, true)), "scene button 1 (from top) down");
    EXPECT_EQ(describe(I::button(PushMIDIMap::Button::repeatButton, true)), "button repeatButton down");
    EXPECT_EQ(describe(I::button(PushMIDIMap::Button::newButton, false)), "button new up");
    EXPECT_EQ(describe(I::padPressure(2, 3, 90)), "pad row 3 col 4 pressure 90");
    EXPECT_EQ(describe(I::channelPressure(5)), "channel pressure 5");
    EXPECT_EQ(describe(I::touchStrip(8192)), "touch strip 8192");
    EXPECT_EQ(describe(I::touchStripTouch(true)), "touch strip touched");
    EXPECT_EQ(describe(I::dpadCentreTouch(false)), "d-pad centre released");
    EXPECT_EQ(describe(I::unmapped(MIDIMessage::programChange(0, 5))), "UNMAPPED C0 05");
}

}  // namespace
}  // namespace corvane
