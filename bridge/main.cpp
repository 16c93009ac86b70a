// corvane-bridge: the Push 3 as the control surface of Cubase.

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "bridge/Alert.h"
#include "bridge/Bridge.h"
#include "bridge/BridgeEnvironment.h"
#include "bridge/CommandLine.h"
#include "bridge/MenuBarApp.h"
#include "bridge/OneBridge.h"
#include "bridge/Tray.h"
#include "core/IgnoreSIGPIPE.h"
#include "core/Log.h"
#include "platform/InstanceLock.h"
#include "platform/MainQueue.h"
#include "platform/SignalSource.h"
#include "platform/UserDefaults.h"

namespace {

using namespace corvane;

// Worker threads (the log, MIDI, USB, the display) may still run: no static destructors.
[[noreturn]] void leave(int status) {
    std::fflush(stdout);
    UserDefaults::flushAll();
    Log::shared().flush();
    _exit(status);
}

}  // namespace

int main(int argc, char** argv) {
    ignoreSIGPIPE();
    std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);

    Log& log = Log::shared();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const CommandLine::Parsed parsed = CommandLine::parse(arguments, log.fileURL());
    if (const auto* exit = std::get_if<CommandLine::Exit>(&parsed)) {
        std::fputs(exit->output.c_str(), stdout);
        leave(exit->status);
    }
    const auto& run = std::get<CommandLine::Run>(parsed);
    if (run.verbose) log.setMinimumLevel(Log::Level::debug);
    if (run.logMIDI) log.setLogMIDI(true);
    if (run.quiet) log.setEchoToStderr(false);

    // Before any port, device, setting or log file is opened: a second bridge leaves the Push to
    // the first. Never destroyed, so the lock is held until the process ends, however it ends.
    auto* instance = new InstanceLock::Outcome(
        InstanceLock::acquire(OneBridge::lockName, InstanceLock::userFolders()));
    if (const auto* busy = std::get_if<InstanceLock::Busy>(instance)) {
        const std::string text = OneBridge::alreadyRunning(busy->holder);
        std::fprintf(stderr, "%s\n", text.c_str());
        // Started from the application menu, the user would otherwise see nothing happen.
        if (run.menuBar && !Tray::openDisplay()) runAlert(text, AlertStyle::informational);
        leave(0);
    }

    const bool menuBar = run.menuBar && MenuBarApp::openDisplay(log);

    if (const auto* unavailable = std::get_if<InstanceLock::Unavailable>(instance)) {
        log.warning([&] { return "nothing stops a second bridge: " + unavailable->why; });
    }

    std::shared_ptr<Bridge> bridge;
    BridgeEnvironment environment = BridgeEnvironment::system();
    const std::shared_ptr<SettingsStore> settings = environment.settings;
    try {
        bridge = Bridge::create(run.options, std::move(environment));
    } catch (const std::exception& error) {
        log.error([&] { return "could not start: " + std::string(error.what()); });
        log.flush();
        if (menuBar) runAlert("Corvane could not start:\n\n" + std::string(error.what()), AlertStyle::warning);
        leave(1);
    }

    // Kept for the life of the process, never destroyed.
    auto* signalSources = new std::vector<std::unique_ptr<SignalSource>>;
    for (int signum : {SIGINT, SIGTERM}) {
        std::signal(signum, SIG_IGN);
        signalSources->push_back(std::make_unique<SignalSource>(signum, [bridge] {
            bridge->shutdown();
            leave(0);
        }));
    }

    if (menuBar) MenuBarApp::launch(bridge, settings, log);
    // Only the tray's Quit ends the run loop, after the bridge's shutdown.
    MainQueue::run();
    leave(0);
}
