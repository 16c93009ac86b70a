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
#include "core/IgnoreSIGPIPE.h"
#include "core/Log.h"
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
    const bool menuBar = run.menuBar && MenuBarApp::openDisplay(log);

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
