#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "corvane_diag/SettingsCommands.h"
#include "tests/diag/DiagHarness.h"
#include "tests/support/Bounded.h"
#include "tests/support/SimulatedPush3.h"

namespace corvane {
namespace {

using Lines = std::vector<std::string>;
using Curve = std::array<std::uint8_t, 128>;

Curve descending() {
    Curve curve{};
    for (int i = 0; i < 128; ++i) curve[i] = static_cast<std::uint8_t>(std::max(127 - i, 1));
    return curve;
}

class SettingsCommandsTest : public ::testing::Test {
protected:
    std::filesystem::path backup() const { return diag.dataDirectory / "velocity-curve-backup.txt"; }

    void writeBackup(const std::string& text) {
        std::filesystem::create_directories(diag.dataDirectory);
        std::ofstream(backup(), std::ios::binary) << text;
    }

    std::optional<std::string> readBackup() const {
        std::ifstream file(backup(), std::ios::binary);
        if (!file) return std::nullopt;
        std::ostringstream text;
        text << file.rdbuf();
        return text.str();
    }

    DiagHarness diag;
    SimulatedPush3 push{diag.midi};
};

TEST_F(SettingsCommandsTest, PushSettingsPrintsBrightnessModeAndCurve) {
    push.setLEDBrightness(0);
    push.setDisplayBrightness(128);
    EXPECT_EQ(diag.run({"push-settings"}), 0);
    ASSERT_EQ(diag.lines.size(), 12u);
    EXPECT_EQ(diag.lines[0], "LED brightness      0 of 127 (0 %)");
    EXPECT_EQ(diag.lines[1], "display brightness  128 of 255 (50 %)");
    EXPECT_EQ(diag.lines[2], "aftertouch mode     1 (Poly aftertouch)");
    EXPECT_EQ(diag.lines[3], "pad velocity curve (velocity for weights 0 g, 32 g, … 4064 g):");
    EXPECT_EQ(diag.lines[4], "    0:  1   1   2   3   4   5   6   7   8   9  10  11  12  13  14  15");
    EXPECT_EQ(diag.lines[11], "  112:112 113 114 115 116 117 118 119 120 121 122 123 124 125 126 127");
    EXPECT_TRUE(push.velocityCurve() == SimulatedPush3(diag.midi, false).velocityCurve());  // read-only
}

TEST_F(SettingsCommandsTest, PushSettingsTimesOutWithWhatItHas) {
    push.setAnswersQueries(false);
    EXPECT_EQ(diag.run({"push-settings"}, 0.01), 1);
    ASSERT_EQ(diag.lines.size(), 11u);
    EXPECT_EQ(diag.lines[0], "timed out waiting for the Push; what it answered:");
    EXPECT_EQ(
        diag.lines[2], "    0:" + std::string("  ?") + [] {
            std::string cells;
            for (int i = 1; i < 16; ++i) cells += "   ?";
            return cells;
        }());
    EXPECT_EQ(diag.lines[10], "  128 entries didn't answer (SysEx 0x21)");
}

TEST_F(SettingsCommandsTest, VelocityTestSavesPlaysWithBothCurvesAndWritesYoursBack) {
    push.setVelocityCurve(descending());
    Curve duringTest{};
    diag.when("1/2", [&] {
        push.pressPad(0, 0, 90);
        push.send(MIDIMessage::noteOn(0, 30, 90));  // not a pad
        push.send(MIDIMessage::noteOn(3, 99, 0));   // a release
    });
    diag.when("2/2", [&] {
        diag.midi->waitForDeliveries();
        duringTest = push.velocityCurve();
        push.pressPad(7, 7, 127);
    });
    EXPECT_EQ(diag.run({"velocity-test"}, 0.1), 0);
    EXPECT_EQ(diag.lines,
              (Lines{"Reading your velocity curve (128 entries)…",
                     "Saved your velocity curve to " + backup().string(),
                     "1/2  Hit some pads (10 s): these velocities follow YOUR curve.",
                     "     pad 0  velocity 90", "2/2  Test curve on: every hit should now show 127 (10 s).",
                     "     pad 63  velocity 127", "Your curve is written back; reading it to check…",
                     "PASS: the Push took the test curve, and your curve is back exactly as it was."}));
    Curve all127;
    all127.fill(127);
    EXPECT_EQ(duringTest, all127);
    EXPECT_EQ(push.velocityCurve(), descending());
    const Curve curve = descending();
    std::vector<int> values(curve.begin(), curve.end());
    EXPECT_EQ(readBackup(), VelocityCurve::backupText(values));
}

TEST_F(SettingsCommandsTest, VelocityTestBackupIsOneLineOfNumbers) {
    std::vector<int> values;
    for (int i = 1; i <= 127; ++i) values.push_back(i);
    values.push_back(127);
    const std::string text = VelocityCurve::backupText(values);
    EXPECT_TRUE(text.starts_with("1 2 3 "));
    EXPECT_TRUE(text.ends_with(" 126 127 127"));
    const auto parsed = VelocityCurve::parseBackup(text);
    ASSERT_TRUE(parsed.has_value()) << parsed.error().problem;
    EXPECT_EQ(*parsed, values);
}

TEST_F(SettingsCommandsTest, CtrlCWhileReadingChangesNothing) {
    push.setAnswersQueries(false);
    diag.after(0.05, [&] { diag.interrupt(); });
    EXPECT_EQ(diag.run({"velocity-test"}), 130);
    EXPECT_EQ(diag.lines, (Lines{"Reading your velocity curve (128 entries)…"}));
    EXPECT_FALSE(std::filesystem::exists(backup()));
}

TEST_F(SettingsCommandsTest, CtrlCDuringTheTestCurveWritesYoursBackAndChecks) {
    push.setVelocityCurve(descending());
    diag.when("2/2", [&] { diag.interrupt(); });
    EXPECT_EQ(diag.run({"velocity-test"}, 0.1), 0);
    EXPECT_EQ(diag.lines.back(),
              "PASS: the Push took the test curve, and your curve is back exactly as it was.");
    EXPECT_EQ(push.velocityCurve(), descending());
}

TEST_F(SettingsCommandsTest, AnUnwritableBackupStopsBeforeAnythingChanges) {
    std::filesystem::create_directories(diag.dataDirectory.parent_path());
    std::ofstream(diag.dataDirectory) << "a file where the folder should be";
    push.setVelocityCurve(descending());
    EXPECT_EQ(diag.run({"velocity-test"}), 1);
    ASSERT_EQ(diag.lines.size(), 2u);
    EXPECT_TRUE(diag.lines[1].starts_with("Couldn't save your curve (")) << diag.lines[1];
    EXPECT_TRUE(diag.lines[1].ends_with("); nothing was changed.")) << diag.lines[1];
    diag.midi->settle();
    EXPECT_EQ(push.velocityCurve(), descending());
}

TEST_F(SettingsCommandsTest, VelocityRestoreWritesTheBackupAndVerifiesIt) {
    const Curve curve = descending();
    std::vector<int> values(curve.begin(), curve.end());
    writeBackup("+" + VelocityCurve::backupText(values) + "\n");
    EXPECT_EQ(diag.run({"velocity-restore"}), 0);
    EXPECT_EQ(diag.lines, (Lines{"Restored: the Push has the saved curve."}));
    EXPECT_EQ(push.velocityCurve(), descending());
}

TEST_F(SettingsCommandsTest, VelocityRestoreRefusesAMissingOrCorruptBackup) {
    EXPECT_EQ(diag.run({"velocity-restore"}), 1);
    EXPECT_EQ(diag.lines, (Lines{"No saved curve at " + backup().string()}));

    std::string onePerLine;
    for (int i = 0; i < 128; ++i) onePerLine += std::to_string(i + 1) + "\n";
    writeBackup(onePerLine);
    diag.lines.clear();
    EXPECT_EQ(diag.run({"velocity-restore"}), 1);
    EXPECT_EQ(diag.lines,
              (Lines{"error: " + backup().string() + ", line 2: values after the end of line 1"}));

    writeBackup("1 2 x 4");
    diag.lines.clear();
    EXPECT_EQ(diag.run({"velocity-restore"}), 1);
    EXPECT_EQ(diag.lines, (Lines{"error: " + backup().string() + ", line 1: \"x\" is not a number"}));
    diag.midi->settle();
    EXPECT_TRUE(push.received().empty());
}

TEST_F(SettingsCommandsTest, VelocityRestoreFindsNoSavedCurveInWhatIsNoRegularFileOrTooLarge) {
    namespace fs = std::filesystem;
    fs::create_directories(diag.dataDirectory);
    const auto refused = [&](const char* what) {
        diag.lines.clear();
        int status = -1;
        withinBounds(std::chrono::seconds(10), 64, [&] { status = diag.run({"velocity-restore"}); });
        EXPECT_EQ(status, 1) << what;
        EXPECT_EQ(diag.lines, (Lines{"No saved curve at " + backup().string()})) << what;
        fs::remove_all(backup());
    };
    ASSERT_EQ(::mkfifo(backup().c_str(), 0600), 0);
    refused("a FIFO");
    fs::create_symlink("/dev/zero", backup());
    refused("a link to /dev/zero");
    fs::create_directories(backup());
    refused("a folder");
    writeBackup(VelocityCurve::backupText(std::vector<int>(128, 64)));
    fs::resize_file(backup(), VelocityCurve::maxBackupMebibytes * 1024 * 1024 + 1);
    refused("a file over 1 MiB");
    diag.midi->settle();
    EXPECT_TRUE(push.received().empty());
}

TEST_F(SettingsCommandsTest, VelocityRestoreQuotesTheBackupWithItsControlBytesEscaped) {
    // U+202E would turn the rest of the line around on screen; U+FEFF is invisible.
    writeBackup("1 2 \x1b]0;owned\x07\x7f\xff\xc3\xa9\xc2\x9b\xe2\x80\xae\xef\xbb\xbf 4");
    EXPECT_EQ(diag.run({"velocity-restore"}), 1);
    EXPECT_EQ(diag.lines,
              (Lines{"error: " + backup().string() +
                     ", line 1: \"\\x1b]0;owned\\x07\\x7f\\xff\xc3\xa9\\xc2\\x9b\\xe2\\x80\\xae\\xef\\xbb\\xbf\" is not a "
                     "number"}));

    // A backup of nothing but control bytes is quoted in a line of one screen, not four megabytes.
    writeBackup(std::string(1024 * 1024 - 1, '\x01'));
    EXPECT_EQ(diag.run({"velocity-restore"}), 1);
    std::string quoted;
    while (quoted.size() < 80) quoted += "\\x01";
    EXPECT_EQ(diag.lines.back(), "error: " + backup().string() + ", line 1: \"" + quoted + "…\" is not a number");
}

TEST_F(SettingsCommandsTest, VelocityRestoreRefusesWhatIsNotACurveAndWritesNothing) {
    const std::vector<int> curve(128, 64);
    auto changed = [&](std::size_t index, int value) {
        std::vector<int> values = curve;
        values.at(index) = value;
        return VelocityCurve::backupText(values);
    };
    const std::string good = VelocityCurve::backupText(curve);
    const std::vector<std::pair<std::string, std::string>> cases{
        {changed(5, 300), "line 1: 300 is not a velocity from 1 to 127"},
        {changed(0, 0), "line 1: 0 is not a velocity from 1 to 127"},
        {changed(127, -3), "line 1: -3 is not a velocity from 1 to 127"},
        {good + " 64", "line 1: the saved curve has more than 128 entries"},
        {good + " junk", "line 1: \"junk\" is not a number"},
        {good.substr(0, good.size() - 3), "line 1: the saved curve has 127 entries, not 128"},
        {"", "line 1: the saved curve has 0 entries, not 128"},
        {"\n" + good + "\n\n64 64\n", "line 4: values after the end of line 2"},
    };
    for (const auto& [text, problem] : cases) {
        writeBackup(text);
        diag.lines.clear();
        EXPECT_EQ(diag.run({"velocity-restore"}), 1) << problem;
        EXPECT_EQ(diag.lines, (Lines{"error: " + backup().string() + ", " + problem}));
    }
    diag.midi->settle();
    EXPECT_TRUE(push.received().empty());
}

TEST_F(SettingsCommandsTest, VelocityRestoreReportsAReadBackThatDiffers) {
    writeBackup(VelocityCurve::backupText(std::vector<int>(128, 64)));
    push.setTakesWrites(false);  // it keeps its own curve, 1 1 2 3 …
    EXPECT_EQ(diag.run({"velocity-restore"}), 1);
    ASSERT_EQ(diag.lines.size(), 10u);
    EXPECT_EQ(diag.lines[0], "Written, but the read-back differs:");
    EXPECT_EQ(diag.lines[2], "    0:  1   1   2   3   4   5   6   7   8   9  10  11  12  13  14  15");
}

TEST_F(SettingsCommandsTest, VelocityRestoreTimesOut) {
    writeBackup(VelocityCurve::backupText(std::vector<int>(128, 64)));
    push.setAnswersQueries(false);
    EXPECT_EQ(diag.run({"velocity-restore"}, 0.01), 1);
    EXPECT_EQ(diag.lines, (Lines{"timed out reading the curve back"}));
}

}  // namespace
}  // namespace corvane
