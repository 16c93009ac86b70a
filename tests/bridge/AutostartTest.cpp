#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "bridge/Autostart.h"
#include "tests/support/Bounded.h"
#include "tests/support/ReadFile.h"
#include "tests/support/TemporaryFolder.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

class AutostartTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = newTemporaryFolder("corvane-autostart");
        ASSERT_FALSE(root.empty());
    }
    void TearDown() override { fs::remove_all(root); }

    fs::path root;
};

TEST_F(AutostartTest, WritesAndRemovesTheEntryInTheConfigFolder) {
    const Autostart autostart(root / "config", "/opt/corvane/bin/corvane-bridge");
    EXPECT_EQ(autostart.entryPath(), root / "config" / "autostart" / "corvane-bridge.desktop");
    EXPECT_FALSE(autostart.enabled());

    autostart.setEnabled(true);
    EXPECT_TRUE(autostart.enabled());
    EXPECT_EQ(readFile(autostart.entryPath()),
              "[Desktop Entry]\nType=Application\nName=Corvane\n"
              "Comment=Ableton Push 3 as the control surface of Cubase\n"
              "Exec=/opt/corvane/bin/corvane-bridge\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
    autostart.setEnabled(true);  // again: still one entry
    EXPECT_TRUE(autostart.enabled());
    EXPECT_EQ(std::distance(fs::directory_iterator(root / "config" / "autostart"), fs::directory_iterator()),
              1);

    autostart.setEnabled(false);
    EXPECT_FALSE(autostart.enabled());
    EXPECT_FALSE(fs::exists(autostart.entryPath()));
    autostart.setEnabled(false);  // nothing to remove is no failure
}

TEST_F(AutostartTest, AHiddenEntryCountsAsOff) {
    const Autostart autostart(root, "/usr/bin/corvane-bridge");
    fs::create_directories(root / "autostart");
    std::ofstream(autostart.entryPath()) << "[Desktop Entry]\nExec=corvane-bridge\nHidden=true\n";
    EXPECT_FALSE(autostart.enabled());
    autostart.setEnabled(true);
    EXPECT_TRUE(autostart.enabled());
}

TEST_F(AutostartTest, AnEntryLinkedFromTheUsersDotfilesStaysALinkWhenTurnedOn) {
    const Autostart autostart(root, "/usr/bin/corvane-bridge");
    const fs::path kept = root / "dotfiles" / "corvane-bridge.desktop";
    fs::create_directories(kept.parent_path());
    fs::create_directories(root / "autostart");
    std::ofstream(kept) << "[Desktop Entry]\nExec=corvane-bridge\nHidden=true\n";
    fs::create_symlink(kept, autostart.entryPath());
    autostart.setEnabled(true);
    EXPECT_TRUE(autostart.enabled());
    EXPECT_TRUE(fs::is_symlink(autostart.entryPath()));
    EXPECT_EQ(readFile(kept), Autostart::entryText("/usr/bin/corvane-bridge"));
}

TEST_F(AutostartTest, AFIFOInPlaceOfTheEntryCountsAsOffWithoutWaiting) {
    const Autostart autostart(root, "/usr/bin/corvane-bridge");
    fs::create_directories(root / "autostart");
    ASSERT_EQ(::mkfifo(autostart.entryPath().c_str(), 0600), 0);
    bool enabled = true;
    withinBounds(std::chrono::seconds(10), 64, [&] { enabled = autostart.enabled(); });
    EXPECT_FALSE(enabled);
    autostart.setEnabled(true);
    EXPECT_TRUE(autostart.enabled());
}

TEST_F(AutostartTest, ReadsTheEntryAsADesktopEntry) {
    const Autostart autostart(root, "/usr/bin/corvane-bridge");
    fs::create_directories(root / "autostart");
    const auto enabledWith = [&](const std::string& text) {
        std::ofstream(autostart.entryPath(), std::ios::trunc) << text;
        return autostart.enabled();
    };
    EXPECT_FALSE(enabledWith("[Desktop Entry]\nExec=corvane-bridge\nHidden = true\n"));
    EXPECT_FALSE(enabledWith("[Desktop Entry]\nExec=corvane-bridge\nX-GNOME-Autostart-enabled=false\n"));
    EXPECT_FALSE(enabledWith("[Desktop Entry]\nX-GNOME-Autostart-enabled =\tfalse\nHidden=false\n"));
    EXPECT_TRUE(enabledWith("[Desktop Entry]\nExec=corvane-bridge\nHidden=false\nX-GNOME-Autostart-enabled = true\n"));
    // Only the entry's own group counts, and a comment is no key.
    EXPECT_TRUE(enabledWith("# Hidden=true\n[Desktop Entry]\nExec=corvane-bridge\n\n"
                            "[Desktop Action quit]\nHidden=true\nX-GNOME-Autostart-enabled=false\n"));
    // What is no desktop entry starts nothing at login.
    EXPECT_FALSE(enabledWith("Exec=corvane-bridge\n"));
    EXPECT_FALSE(enabledWith("[Other]\nExec=corvane-bridge\n"));

    autostart.setEnabled(true);
    EXPECT_TRUE(autostart.enabled());
    EXPECT_EQ(readFile(autostart.entryPath()).find("Hidden"), std::string::npos);
}

TEST_F(AutostartTest, FailuresNameThePathAndTheReason) {
    std::ofstream(root / "config") << "not a folder";
    const Autostart autostart(root / "config", "/usr/bin/corvane-bridge");
    try {
        autostart.setEnabled(true);
        FAIL() << "no error";
    } catch (const AutostartError& error) {
        EXPECT_EQ(std::string(error.what()), (root / "config" / "autostart").string() + ": Not a directory");
    }
}

TEST_F(AutostartTest, QuotesProgramPathsThatNeedIt) {
    EXPECT_EQ(Autostart::execArgument("/usr/bin/corvane-bridge"), "/usr/bin/corvane-bridge");
    EXPECT_EQ(Autostart::execArgument("/home/me/My Apps/corvane-bridge"),
              "\"/home/me/My Apps/corvane-bridge\"");
    // Inside quotes $ and " take a backslash, which the string escape then doubles; % doubles.
    EXPECT_EQ(Autostart::execArgument("/a $b/\"c\"/100%"), "\"/a \\\\$b/\\\\\"c\\\\\"/100%%\"");
    EXPECT_EQ(Autostart::execArgument("/x\\y"), "\"/x\\\\\\\\y\"");
}

TEST_F(AutostartTest, IsOfferedOnlyOutsideABuildFolder) {
    fs::create_directories(root / "build");
    std::ofstream(root / "build" / "CMakeCache.txt") << "";
    EXPECT_FALSE(Autostart::offered(root / "build" / "corvane-bridge"));
    EXPECT_TRUE(Autostart::offered(root / "corvane-bridge"));
    // Where a package or `cmake --install` puts it.
    EXPECT_TRUE(Autostart::offered("/usr/bin/corvane-bridge"));
    EXPECT_TRUE(Autostart::offered("/usr/local/bin/corvane-bridge"));
}

}  // namespace
}  // namespace corvane
