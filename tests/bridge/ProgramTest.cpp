// The built corvane-bridge program, run as a user would run it.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "bridge/OneBridge.h"
#include "hardware/AlsaMIDIBackend.h"
#include "platform/InstanceLock.h"
#include "tests/support/ReadFile.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        home = fs::temp_directory_path() /
               ("corvane-program-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(home);
        fs::create_directories(home / "runtime");
        fs::permissions(home / "runtime", fs::perms::owner_all);
    }
    void TearDown() override { fs::remove_all(home); }

    // The program with its log and settings in the test's own folder.
    Outcome run(const std::string& arguments) {
        const fs::path errors = home / "stderr";
        // No display: a failing start would otherwise wait on its alert.
        // Killed when it hangs, so that a regression fails rather than stalls the run.
        const std::string command = "timeout -s KILL 30 env -u DISPLAY -u WAYLAND_DISPLAY XDG_STATE_HOME='" + (home / "state").string() +
                                    "' XDG_CONFIG_HOME='" + (home / "config").string() + "' XDG_RUNTIME_DIR='" +
                                    (home / "runtime").string() + "' '" CORVANE_BRIDGE_PROGRAM "' " + arguments +
                                    " 2>'" + errors.string() + "'";
        Outcome outcome;
        FILE* pipe = ::popen(command.c_str(), "r");
        if (pipe == nullptr) return outcome;
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) outcome.out.append(buffer, n);
        const int status = ::pclose(pipe);
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        outcome.err = readFile(errors);
        return outcome;
    }

    std::string usage() const {
        return "usage: corvane-bridge [--verbose] [--log-midi] [--quiet] [--no-menu-bar] "
               "[--pixel-order bgr565|rgb565] [--max-fps N]\n\nLogs: " +
               (home / "state" / "corvane" / "bridge.log").string() + "\n";
    }

    fs::path home;
};

TEST_F(ProgramTest, VersionPrintsTheVersionAndSucceeds) {
    const Outcome outcome = run("--version --frobnicate");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "0.4.3\n");
    EXPECT_EQ(outcome.err, "");
}

TEST_F(ProgramTest, HelpPrintsTheUsageWithTheLogFile) {
    Outcome outcome = run("--help");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, usage());
    outcome = run("-h");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, usage());
}

TEST_F(ProgramTest, AnUnrecognisedArgumentPrintsTheUsageAndFailsWithTwo) {
    const Outcome outcome = run("--quiet --frobnicate");
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.out, usage());
}

TEST_F(ProgramTest, WithoutASequencerTheStartFailsCleanlyWithOne) {
    if (AlsaMIDIBackend::sequencerPresent()) GTEST_SKIP() << "this machine has a MIDI sequencer";
    const Outcome outcome = run("--no-menu-bar");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.out, "");
    EXPECT_NE(outcome.err.find(" ERROR could not start: MIDIClientCreate failed"), std::string::npos)
        << outcome.err;
    // The same line reached the log file before the process left.
    EXPECT_NE(readFile(home / "state" / "corvane" / "bridge.log").find(" ERROR could not start: "), std::string::npos);
}

TEST_F(ProgramTest, QuietKeepsTheFailureOutOfStandardErrorButInTheLog) {
    if (AlsaMIDIBackend::sequencerPresent()) GTEST_SKIP() << "this machine has a MIDI sequencer";
    const Outcome outcome = run("--quiet");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, "");
    const std::string log = readFile(home / "state" / "corvane" / "bridge.log");
    EXPECT_NE(log.find(" INFO no tray menu: no display (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                       "running as with --no-menu-bar"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(" ERROR could not start: "), std::string::npos) << log;
}

TEST_F(ProgramTest, ALogFileThatIsAFIFOIsPassedOverAndTheBridgeEndsAsUsual) {
    if (AlsaMIDIBackend::sequencerPresent()) GTEST_SKIP() << "this machine has a MIDI sequencer";
    const fs::path log = home / "state" / "corvane" / "bridge.log";
    fs::create_directories(log.parent_path());
    ASSERT_EQ(::mkfifo(log.c_str(), 0600), 0);
    const std::string notice = "corvane: not logging to " + log.string() + " (not a regular file); ";
    Outcome outcome = run("--quiet");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.err, notice + "lines are not kept\n");
    outcome = run("--no-menu-bar");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find(notice + "lines go to standard error only\n"), std::string::npos) << outcome.err;
    EXPECT_NE(outcome.err.find(" ERROR could not start: "), std::string::npos) << outcome.err;
    EXPECT_EQ(fs::symlink_status(log).type(), fs::file_type::fifo);
}

TEST_F(ProgramTest, ASettingsFileThatIsAFIFOIsKeptAsideWithoutWaiting) {
    if (AlsaMIDIBackend::sequencerPresent()) GTEST_SKIP() << "this machine has a MIDI sequencer";
    const fs::path settings = home / "config" / "corvane" / "defaults.json";
    fs::create_directories(settings.parent_path());
    ASSERT_EQ(::mkfifo(settings.c_str(), 0600), 0);
    const Outcome outcome = run("--no-menu-bar");
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.err.find(" WARN settings: could not read " + settings.string() +
                               " (not a regular file); kept it as " + settings.string() + ".corrupt and"),
              std::string::npos)
        << outcome.err;
    EXPECT_EQ(fs::symlink_status(settings.string() + ".corrupt").type(), fs::file_type::fifo);
}

// This process stands in for a running bridge by holding its lock.
TEST_F(ProgramTest, ASecondStartSaysWhichBridgeRunsAndTouchesNothing) {
    const auto running = InstanceLock::acquire(OneBridge::lockName, {{home / "runtime", false}});
    ASSERT_TRUE(std::holds_alternative<InstanceLock>(running));
    for (const char* arguments : {"--no-menu-bar", "--verbose"}) {
        const Outcome outcome = run(arguments);
        EXPECT_EQ(outcome.status, 0) << arguments;
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(outcome.err, "corvane-bridge is already running (process " + std::to_string(::getpid()) + ")\n");
    }
    EXPECT_FALSE(fs::exists(home / "state")) << "no log file";
    EXPECT_FALSE(fs::exists(home / "config")) << "no settings";

    EXPECT_EQ(run("--version").out, "0.4.3\n");
    const Outcome help = run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, usage());
}

}  // namespace
}  // namespace corvane
