#pragma once
// The tray menu's content as plain values: what the tray shows, and what tests read without a
// display.

#include <optional>
#include <string>
#include <vector>

#include "core/BridgeStatus.h"

namespace corvane {

enum class MenuAction {
    none,
    toggleDiagnostics,
    openLogFolder,
    toggleStartAtLogin,
    checkForUpdatesNow,
    toggleAutoUpdateCheck,
    openManual,
    emailSupport,
    quit,
};

struct MenuItem {
    bool separator = false;
    std::string title;
    bool enabled = true;
    std::optional<bool> checked;  // absent: the item carries no on/off mark
    MenuAction action = MenuAction::none;
    std::string keyEquivalent;  // with the Control key, e.g. "q"

    // A disabled line of text.
    static MenuItem line(std::string title);
    static MenuItem divider();
    static MenuItem command(std::string title, MenuAction action);
    // An item with an on/off mark.
    static MenuItem toggle(std::string title, bool checked, MenuAction action);

    bool operator==(const MenuItem&) const = default;
};

// What the menu shows beside the bridge's status.
struct MenuState {
    bool updateCheckRunning = false;
    bool autoUpdateCheck = true;
    // Whether the program starts at login; absent when it does not offer that at all.
    std::optional<bool> startAtLogin;

    bool operator==(const MenuState&) const = default;
};

namespace MenuBarModel {

// The whole menu, top to bottom.
std::vector<MenuItem> items(const BridgeStatus& status, const MenuState& state);

}  // namespace MenuBarModel

}  // namespace corvane
