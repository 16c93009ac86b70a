#include "bridge/MenuBarApp.h"

#include <exception>
#include <string>

#include "bridge/Bridge.h"
#include "bridge/MenuBar.h"
#include "bridge/Tray.h"
#include "platform/MainQueue.h"

namespace corvane {

MenuBarBridge MenuBarBridge::of(std::shared_ptr<Bridge> bridge) {
    MenuBarBridge link;
    link.status = [bridge] { return bridge->status(); };
    link.setOnStatusChange = [bridge](auto handler) { bridge->setOnStatusChange(std::move(handler)); };
    link.toggleDiagnostics = [bridge] { bridge->toggleDiagnostics(); };
    link.shutdown = [bridge] { bridge->shutdown(); };
    return link;
}

namespace MenuBarApp {

namespace {

// The menu bar, kept for the life of the process.
std::shared_ptr<MenuBar>* running = nullptr;

void runWithout(Log& log, const std::string& why) {
    log.info([&] { return "no tray menu: " + why + "; running as with --no-menu-bar"; });
}

}  // namespace

bool openDisplay(Log& log) {
    const auto why = Tray::openDisplay();
    if (why) runWithout(log, *why);
    return !why;
}

void launch(std::shared_ptr<Bridge> bridge, std::shared_ptr<SettingsStore> defaults, Log& log) {
    Tray::whenHostAppears(
        hostGrace,
        [bridge, defaults, &log] {
            std::shared_ptr<Tray> tray;
            try {
                tray = std::make_shared<Tray>(Tray::iconFolder());
            } catch (const std::exception& error) {
                runWithout(log, error.what());
                return;
            }
            MenuBar::Environment environment;
            environment.defaults = defaults;
            environment.fetch = UpdateChecker::curlFetch();
            environment.autostart = Autostart::forThisProgram();
            environment.logFolder = log.fileURL().parent_path();
            environment.terminate = [] { MainQueue::quit(); };
            environment.log = &log;
            auto menuBar = MenuBar::create(MenuBarBridge::of(bridge), std::move(environment), tray);
            menuBar->applicationDidFinishLaunching();
            running = new std::shared_ptr<MenuBar>(std::move(menuBar));
        },
        [&log](const std::string& why) { runWithout(log, why); });
}

}  // namespace MenuBarApp
}  // namespace corvane
