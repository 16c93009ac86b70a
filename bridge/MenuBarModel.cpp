#include "bridge/MenuBarModel.h"

#include "bridge/Version.h"

namespace corvane {

MenuItem MenuItem::line(std::string title) {
    MenuItem item;
    item.title = std::move(title);
    item.enabled = false;
    return item;
}

MenuItem MenuItem::divider() {
    MenuItem item;
    item.separator = true;
    return item;
}

MenuItem MenuItem::command(std::string title, MenuAction action) {
    MenuItem item;
    item.title = std::move(title);
    item.action = action;
    return item;
}

MenuItem MenuItem::toggle(std::string title, bool checked, MenuAction action) {
    MenuItem item = command(std::move(title), action);
    item.checked = checked;
    return item;
}

namespace MenuBarModel {

std::vector<MenuItem> items(const BridgeStatus& status, const MenuState& state) {
    std::vector<MenuItem> menu;
    menu.push_back(MenuItem::line("Corvane " + std::string(bridgeVersion)));
    for (std::string& line : status.menuLines()) menu.push_back(MenuItem::line(std::move(line)));
    menu.push_back(MenuItem::divider());
    menu.push_back(
        MenuItem::toggle("Diagnostics on Push", status.diagnostics, MenuAction::toggleDiagnostics));
    menu.push_back(MenuItem::command("Open Log Folder", MenuAction::openLogFolder));
    if (state.startAtLogin)
        menu.push_back(
            MenuItem::toggle("Start at Login", *state.startAtLogin, MenuAction::toggleStartAtLogin));
    menu.push_back(MenuItem::divider());
    MenuItem check = MenuItem::command("Check for Updates\u2026", MenuAction::checkForUpdatesNow);
    check.enabled = !state.updateCheckRunning;
    menu.push_back(check);
    menu.push_back(MenuItem::toggle("Check for Updates Automatically", state.autoUpdateCheck,
                                    MenuAction::toggleAutoUpdateCheck));
    menu.push_back(MenuItem::divider());
    menu.push_back(MenuItem::command("User Manual", MenuAction::openManual));
    menu.push_back(MenuItem::command("Email Support\u2026", MenuAction::emailSupport));
    menu.push_back(MenuItem::divider());
    MenuItem quit = MenuItem::command("Quit Corvane", MenuAction::quit);
    quit.keyEquivalent = "q";
    menu.push_back(quit);
    return menu;
}

}  // namespace MenuBarModel
}  // namespace corvane
