#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "bridge/MenuBarModel.h"

namespace corvane {
namespace {

std::vector<std::string> titles(const std::vector<MenuItem>& items) {
    std::vector<std::string> result;
    for (const MenuItem& item : items) result.push_back(item.separator ? "---" : item.title);
    return result;
}

MenuState state(bool running, bool automatic, std::optional<bool> startAtLogin) {
    MenuState state;
    state.updateCheckRunning = running;
    state.autoUpdateCheck = automatic;
    state.startAtLogin = startAtLogin;
    return state;
}

const MenuItem& find(const std::vector<MenuItem>& items, MenuAction action) {
    for (const MenuItem& item : items) {
        if (item.action == action) return item;
    }
    ADD_FAILURE() << "no item for the action";
    static const MenuItem none;
    return none;
}

TEST(MenuBarModel, ListsStatusLinesThenTheCommandsInOrder) {
    BridgeStatus status;
    status.problem = "display: busy";
    const auto items = MenuBarModel::items(status, state(false, true, false));
    EXPECT_EQ(titles(items),
              (std::vector<std::string>{"Corvane 0.4.3", "Cubase: waiting", "Push MIDI: waiting",
                                        "Push display: waiting", "Problem: display: busy", "---",
                                        "Diagnostics on Push", "Open Log Folder", "Start at Login", "---",
                                        "Check for Updates\u2026", "Check for Updates Automatically", "---",
                                        "User Manual", "Email Support\u2026", "---", "Quit Corvane"}));
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_FALSE(items[i].enabled) << items[i].title;
        EXPECT_EQ(items[i].action, MenuAction::none);
        EXPECT_FALSE(items[i].checked.has_value());
    }
    const MenuItem& quit = find(items, MenuAction::quit);
    EXPECT_EQ(quit.keyEquivalent, "q");
    EXPECT_TRUE(quit.enabled);
    EXPECT_FALSE(quit.checked.has_value());
    EXPECT_FALSE(find(items, MenuAction::openManual).checked.has_value());
}

TEST(MenuBarModel, MarksFollowTheStatusAndTheState) {
    BridgeStatus status;
    status.cubaseConnected = status.pushConnected = status.displayAttached = true;
    status.host = "Cubase 13";
    status.diagnostics = true;
    auto items = MenuBarModel::items(status, state(false, false, true));
    EXPECT_EQ(items[1].title, "Cubase: connected (Cubase 13)");
    EXPECT_EQ(find(items, MenuAction::toggleDiagnostics).checked, true);
    EXPECT_EQ(find(items, MenuAction::toggleStartAtLogin).checked, true);
    EXPECT_EQ(find(items, MenuAction::toggleAutoUpdateCheck).checked, false);
    EXPECT_TRUE(find(items, MenuAction::checkForUpdatesNow).enabled);

    status.diagnostics = false;
    items = MenuBarModel::items(status, state(true, true, false));
    EXPECT_EQ(find(items, MenuAction::toggleDiagnostics).checked, false);
    EXPECT_EQ(find(items, MenuAction::toggleStartAtLogin).checked, false);
    EXPECT_EQ(find(items, MenuAction::toggleAutoUpdateCheck).checked, true);
    EXPECT_FALSE(find(items, MenuAction::checkForUpdatesNow).enabled);
}

TEST(MenuBarModel, OffersNoStartAtLoginWhenTheProgramCannotBeStartedThatWay) {
    const auto items = MenuBarModel::items(BridgeStatus(), MenuState{});
    for (const MenuItem& item : items) {
        EXPECT_NE(item.title, "Start at Login");
        EXPECT_NE(item.action, MenuAction::toggleStartAtLogin);
    }
    EXPECT_EQ(items.size(), 15u);
}

}  // namespace
}  // namespace corvane
