#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/ReadFile.h"
#include "tests/support/TemporaryFolder.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

// The program, at the top of the build folder.
fs::path program() { return fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "corvane-diag"; }

std::string quoted(const std::string& text) {
    std::string result = "'";
    for (char c : text) result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(program())) GTEST_SKIP() << "corvane-diag is not built at " << program();
        folder_ = newTemporaryFolder("corvane-diag-program");
    }
    void TearDown() override {
        std::error_code ignored;
        if (!folder_.empty()) fs::remove_all(folder_, ignored);
    }

    // Runs the program with its data folder in a scratch folder; returns the exit status.
    int run(const std::vector<std::string>& arguments) {
        std::string command = "cd " + quoted(folder_) + " && env XDG_DATA_HOME=" + quoted(folder_) +
                              " XDG_STATE_HOME=" + quoted(folder_) + " " + quoted(program());
        for (const auto& argument : arguments) command += " " + quoted(argument);
        command += " </dev/null >out 2>err";
        const int status = std::system(command.c_str());
        out = readFile(folder_ / "out");
        err = readFile(folder_ / "err");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    fs::path folder_;
    std::string out;
    std::string err;
};

TEST_F(ProgramTest, UsageForNoOrAnUnknownCommand) {
    EXPECT_EQ(run({}), 2);
    EXPECT_TRUE(out.starts_with("usage: corvane-diag <command> [options]\n\n  usb "));
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 31);
    const std::string usage = out;
    EXPECT_EQ(run({"flash-firmware", "--now"}), 2);
    EXPECT_EQ(out, usage);
    EXPECT_EQ(err, "");
}

TEST_F(ProgramTest, APushCommandFailsCleanlyWhenThereIsNoPush) {
    // Without a sequencer the client cannot be made; with one there is no Push on this machine.
    EXPECT_EQ(run({"identity"}), 1);
    EXPECT_TRUE(out == "Push Live Port not found\n" || out.starts_with("error: MIDIClientCreate failed"))
        << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
    EXPECT_EQ(err, "");
    EXPECT_FALSE(fs::exists(folder_ / "corvane/bridge.log"));
}

TEST_F(ProgramTest, TheDisplayTestFailsCleanlyWithoutADisplay) {
    EXPECT_EQ(run({"display-test", "--seconds", "0"}), 1);
    EXPECT_TRUE(out.starts_with("error: ")) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
    EXPECT_EQ(err, "");
}

TEST_F(ProgramTest, VelocityRestoreLooksInTheDataFolder) {
    EXPECT_EQ(run({"velocity-restore"}), 1);
    EXPECT_EQ(out, "No saved curve at " + (folder_ / "corvane/velocity-curve-backup.txt").string() + "\n");
    EXPECT_EQ(err, "");
}

}  // namespace
}  // namespace corvane
