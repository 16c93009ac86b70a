#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "bridge/MenuBar.h"
#include "core/Links.h"
#include "platform/MemorySettingsStore.h"
#include "tests/support/ReadFile.h"
#include "tests/support/TemporaryFolder.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

// Records what the menu bar shows and opens; addresses open or fail as the test says.
class RecordingDesktop : public MenuBarDesktop {
public:
    void setHandlers(std::function<void(MenuAction)> action, std::function<void()> opening) override {
        onAction = std::move(action);
        onMenuOpening = std::move(opening);
    }
    void show(BridgeStatus::Light shown, const std::string& text) override {
        light = shown;
        tooltip = text;
    }
    void setMenu(const std::vector<MenuItem>& shown) override { items = shown; }
    void alert(Alert shown) override { alerts.push_back(std::move(shown)); }
    void open(const std::string& uri, std::function<void(const std::string&)> onFailure) override {
        opened.push_back(uri);
        if (openFails) onFailure("no application");
    }

    const MenuItem* item(MenuAction action) const {
        for (const MenuItem& entry : items) {
            if (entry.action == action) return &entry;
        }
        return nullptr;
    }

    std::function<void(MenuAction)> onAction;
    std::function<void()> onMenuOpening;
    std::optional<BridgeStatus::Light> light;
    std::string tooltip;
    std::vector<MenuItem> items;
    std::vector<Alert> alerts;
    std::vector<std::string> opened;
    bool openFails = false;
};

class MenuBarTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = newTemporaryFolder("corvane-menu");
        ASSERT_FALSE(root.empty());
        log = std::make_unique<Log>(root / "logs", 1'000'000, 3);
        log->setEchoToStderr(false);
    }
    void TearDown() override {
        menuBar.reset();
        log.reset();
        fs::remove_all(root);
    }

    MenuBarBridge fakeBridge() {
        MenuBarBridge link;
        link.status = [this] { return status; };
        link.setOnStatusChange = [this](std::function<void(const BridgeStatus&)> handler) {
            onStatusChange = std::move(handler);
        };
        link.toggleDiagnostics = [this] {
            calls.push_back("toggleDiagnostics");
            status.diagnostics = !status.diagnostics;
            if (onStatusChange) onStatusChange(status);
        };
        link.shutdown = [this] { calls.push_back("shutdown"); };
        return link;
    }

    // The fetch replies only when the test says so.
    UpdateFetch fakeFetch() {
        return [this](const std::string& url, std::function<void(FetchReply)> completion) {
            fetched.push_back(url);
            pending.push_back(std::move(completion));
        };
    }

    void launch(std::optional<Autostart> autostart = std::nullopt) {
        MenuBar::Environment environment;
        environment.defaults = defaults;
        environment.fetch = fakeFetch();
        environment.autostart = std::move(autostart);
        environment.logFolder = root / "logs";
        environment.terminate = [this] { calls.push_back("terminate"); };
        environment.log = log.get();
        menuBar = MenuBar::create(fakeBridge(), std::move(environment), desktop);
        menuBar->applicationDidFinishLaunching();
    }

    void reply(FetchReply answer) {
        ASSERT_FALSE(pending.empty());
        auto completion = std::move(pending.front());
        pending.erase(pending.begin());
        completion(std::move(answer));
    }
    static FetchReply answer(long status, std::string body) {
        return FetchReply{std::nullopt, status, std::move(body)};
    }

    std::string logText() {
        log->flush();
        return readFile(root / "logs" / "bridge.log");
    }

    fs::path root;
    std::unique_ptr<Log> log;
    std::shared_ptr<MemorySettingsStore> defaults = std::make_shared<MemorySettingsStore>();
    std::shared_ptr<RecordingDesktop> desktop = std::make_shared<RecordingDesktop>();
    BridgeStatus status;
    std::function<void(const BridgeStatus&)> onStatusChange;
    std::vector<std::string> calls;
    std::vector<std::string> fetched;
    std::vector<std::function<void(FetchReply)>> pending;
    std::shared_ptr<MenuBar> menuBar;
};

TEST_F(MenuBarTest, LaunchShowsTheStatusAndFollowsItsChanges) {
    status.pushConnected = true;
    launch();
    EXPECT_EQ(desktop->light, BridgeStatus::Light::waiting);
    EXPECT_EQ(desktop->tooltip, "Corvane: waiting for Cubase \u00B7 Push connected");
    ASSERT_GE(desktop->items.size(), 2u);
    EXPECT_EQ(desktop->items[1].title, "Cubase: waiting");

    BridgeStatus changed;
    changed.cubaseConnected = true;  // the Push gone while Cubase is there
    onStatusChange(changed);
    EXPECT_EQ(desktop->light, BridgeStatus::Light::problem);
    EXPECT_EQ(desktop->items[1].title, "Cubase: connected");
    changed.pushConnected = true;
    onStatusChange(changed);
    EXPECT_EQ(desktop->light, BridgeStatus::Light::ok);

    // A status published after the menu bar is gone reaches nothing.
    menuBar.reset();
    changed.pushConnected = false;
    onStatusChange(changed);
    EXPECT_EQ(desktop->light, BridgeStatus::Light::ok);
}

TEST_F(MenuBarTest, MenuActionsReachTheBridgeAndTheDesktop) {
    desktop->openFails = true;
    launch();
    desktop->onAction(MenuAction::toggleDiagnostics);
    EXPECT_EQ(desktop->item(MenuAction::toggleDiagnostics)->checked, true);
    desktop->onAction(MenuAction::openManual);
    desktop->onAction(MenuAction::openLogFolder);
    desktop->onAction(MenuAction::emailSupport);
    ASSERT_EQ(desktop->opened.size(), 3u);
    EXPECT_EQ(desktop->opened[0], Links::manual);
    EXPECT_EQ(desktop->opened[1], "file://" + (root / "logs").string());
    EXPECT_EQ(desktop->opened[2], Links::supportMailto("0.4.3"));
    // Only the e-mail's failure is worth an alert; the others are logged.
    ASSERT_EQ(desktop->alerts.size(), 1u);
    EXPECT_EQ(desktop->alerts[0].text,
              "Email " + std::string(Links::supportEmail) + " for help with Corvane.");
    EXPECT_EQ(desktop->alerts[0].style, AlertStyle::informational);
    const std::string text = logText();
    EXPECT_NE(text.find("WARN could not open the manual: no application"), std::string::npos) << text;
    EXPECT_NE(text.find("WARN could not open the log folder: no application"), std::string::npos) << text;

    desktop->onAction(MenuAction::quit);
    EXPECT_EQ(calls, (std::vector<std::string>{"toggleDiagnostics", "shutdown", "terminate"}));
}

TEST_F(MenuBarTest, TheAutomaticCheckFollowsTheSavedChoice) {
    launch();
    EXPECT_EQ(fetched, (std::vector<std::string>{std::string(Links::versionJSON)}));
    EXPECT_EQ(desktop->item(MenuAction::toggleAutoUpdateCheck)->checked, true);

    desktop->onAction(MenuAction::toggleAutoUpdateCheck);
    EXPECT_EQ(defaults->value(MenuBar::autoUpdateKey), std::optional<SettingValue>(false));
    EXPECT_EQ(desktop->item(MenuAction::toggleAutoUpdateCheck)->checked, false);
    menuBar.reset();
    fetched.clear();
    launch();
    EXPECT_TRUE(fetched.empty());

    // Anything but a bool counts as on.
    defaults->set(MenuBar::autoUpdateKey, std::string("no"));
    EXPECT_TRUE(menuBar->autoUpdateCheck());
}

TEST_F(MenuBarTest, AnAutomaticCheckBlocksAManualOneUntilItEnds) {
    launch();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_FALSE(desktop->item(MenuAction::checkForUpdatesNow)->enabled);
    desktop->onAction(MenuAction::checkForUpdatesNow);
    EXPECT_EQ(fetched.size(), 1u);

    // A failed automatic check is only logged.
    reply(FetchReply{"Could not resolve host: corvane.invalid", 0, ""});
    EXPECT_TRUE(desktop->alerts.empty());
    EXPECT_TRUE(desktop->item(MenuAction::checkForUpdatesNow)->enabled);
    EXPECT_NE(logText().find("INFO update check failed: Could not resolve host: corvane.invalid"),
              std::string::npos);

    desktop->onAction(MenuAction::checkForUpdatesNow);
    EXPECT_EQ(fetched.size(), 2u);
}

TEST_F(MenuBarTest, AManualCheckSaysWhyItFailed) {
    defaults->set(MenuBar::autoUpdateKey, false);
    launch();
    desktop->onAction(MenuAction::checkForUpdatesNow);
    desktop->onAction(MenuAction::checkForUpdatesNow);  // while the first runs: nothing
    EXPECT_EQ(fetched.size(), 1u);
    reply(answer(404, "<html>Not Found</html>"));
    ASSERT_EQ(desktop->alerts.size(), 1u);
    EXPECT_EQ(desktop->alerts[0].text, "Couldn't check for updates: the server answered 404");
    EXPECT_EQ(desktop->alerts[0].message, "Corvane");
    EXPECT_EQ(desktop->alerts[0].style, AlertStyle::warning);

    desktop->onAction(MenuAction::checkForUpdatesNow);
    reply(answer(200, "<html>moved</html>"));
    EXPECT_EQ(desktop->alerts.back().text, "Couldn't check for updates: the release file could not be read");
}

TEST_F(MenuBarTest, ANewerReleaseIsOfferedForDownload) {
    launch();
    reply(answer(200, R"({"version": "0.5.0", "changelog": [{"version": "0.5.0", "notes": ["Faster"]}]})"));
    ASSERT_EQ(desktop->alerts.size(), 1u);
    const Alert& offer = desktop->alerts[0];
    EXPECT_EQ(offer.message, "Corvane update");
    EXPECT_EQ(offer.text, "Corvane 0.5.0 is available (you have 0.4.3).\n\nWhat's new:\n\u2022 Faster");
    EXPECT_EQ(offer.buttons, (std::vector<std::string>{"Download", "Later"}));
    EXPECT_NE(logText().find("INFO update available: Corvane 0.5.0"), std::string::npos);

    offer.onButton(1);
    EXPECT_TRUE(desktop->opened.empty());
    offer.onButton(0);
    EXPECT_EQ(desktop->opened, (std::vector<std::string>{std::string(Links::downloadMac)}));
}

TEST_F(MenuBarTest, TheSameReleaseIsReportedOnlyWhenAskedFor) {
    launch();
    reply(answer(200, R"({"version": "0.4.3"})"));
    EXPECT_TRUE(desktop->alerts.empty());
    desktop->onAction(MenuAction::checkForUpdatesNow);
    reply(answer(200, R"({"version": "0.4.3-beta"})"));
    ASSERT_EQ(desktop->alerts.size(), 1u);
    EXPECT_EQ(desktop->alerts[0].text, "Corvane 0.4.3 is the latest version.");
    EXPECT_EQ(desktop->alerts[0].style, AlertStyle::informational);
}

TEST_F(MenuBarTest, AReplyAfterTheMenuBarIsGoneIsDropped) {
    launch();
    menuBar.reset();
    reply(answer(200, R"({"version": "9.0.0"})"));
    EXPECT_TRUE(desktop->alerts.empty());
}

TEST_F(MenuBarTest, StartAtLoginWritesAndRemovesTheEntry) {
    const fs::path program = root / "bin" / "corvane-bridge";
    launch(Autostart(root / "config", program));
    const fs::path entry = root / "config" / "autostart" / "corvane-bridge.desktop";
    EXPECT_EQ(desktop->item(MenuAction::toggleStartAtLogin)->checked, false);

    desktop->onAction(MenuAction::toggleStartAtLogin);
    EXPECT_TRUE(fs::exists(entry));
    EXPECT_EQ(desktop->item(MenuAction::toggleStartAtLogin)->checked, true);
    desktop->onAction(MenuAction::toggleStartAtLogin);
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_EQ(desktop->item(MenuAction::toggleStartAtLogin)->checked, false);
    EXPECT_TRUE(desktop->alerts.empty());
}

TEST_F(MenuBarTest, AStartAtLoginThatCannotBeWrittenIsReported) {
    std::ofstream(root / "config") << "a file where the folder should be";
    launch(Autostart(root / "config", "/usr/bin/corvane-bridge"));
    desktop->onAction(MenuAction::toggleStartAtLogin);
    ASSERT_EQ(desktop->alerts.size(), 1u);
    EXPECT_EQ(desktop->alerts[0].text, "Could not change Start at Login: " +
                                           (root / "config" / "autostart").string() + ": Not a directory");
    EXPECT_EQ(desktop->alerts[0].style, AlertStyle::warning);
    EXPECT_EQ(desktop->item(MenuAction::toggleStartAtLogin)->checked, false);
}

}  // namespace
}  // namespace corvane
