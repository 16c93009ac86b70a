#pragma once
// A bridge on simulated hardware: a Push 3 plugged in, the Cubase script running, a display
// that tests plug in when they need one; settings and log in a folder of the test's own.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bridge/Bridge.h"
#include "core/BridgeCodec.h"
#include "core/Log.h"
#include "platform/MainQueue.h"
#include "platform/UserDefaults.h"
#include "tests/support/ReadFile.h"
#include "tests/support/SimulatedCubaseScript.h"
#include "tests/support/SimulatedMIDISystem.h"
#include "tests/support/SimulatedPush3.h"
#include "tests/support/SimulatedUSBDisplay.h"
#include "tests/support/TemporaryFolder.h"

namespace corvane {

class BridgeHarness : public ::testing::Test {
protected:
    void SetUp() override {
        root = newTemporaryFolder("corvane-bridge");
        ASSERT_FALSE(root.empty());
        log = std::make_unique<Log>(root / "logs", 1'000'000, 3);
        log->setEchoToStderr(false);
        log->setMinimumLevel(Log::Level::debug);
        settings = std::make_shared<UserDefaults>(root / "config", nullptr, std::chrono::milliseconds(0));
        push = std::make_unique<SimulatedPush3>(system);
        script = std::make_unique<SimulatedCubaseScript>(system);
    }

    void TearDown() override {
        bridge.reset();
        system->settle();
        script.reset();
        push.reset();
        system->settle();
        log.reset();
        std::filesystem::remove_all(root);
    }

    BridgeEnvironment environment() { return BridgeEnvironment{system, usb, settings, log.get(), {}}; }

    // Starts the bridge and lets the main queue catch up with it.
    void start() {
        bridge = Bridge::create(options, environment());
        ASSERT_TRUE(system->settle());
    }

    // The log so far.
    std::string logText() {
        log->flush();
        return readFile(root / "logs" / "bridge.log");
    }

    bool logged(const std::string& text) { return logText().find(text) != std::string::npos; }

    // How many lines of the log so far hold `text`.
    std::size_t timesLogged(const std::string& text) {
        const std::string all = logText();
        std::size_t count = 0;
        for (auto at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++count;
        return count;
    }

    // A reader that reads only between the steps in which the bridge sends again what it missed:
    // the main queue runs until a step has offered the reader's input something (each step runs
    // whole, as one piece of main-queue work), then `afterStep` is given the step and lets the
    // reader read, or not. Until `over` holds (looked at while the main queue runs), or `most`
    // steps. What each step offered.
    struct RetryStep {
        std::size_t offered = 0;
        bool refused = false;  // the last it offered
    };
    std::vector<RetryStep> retrySteps(MIDIRef reader, const std::function<bool()>& over,
                                      const std::function<void(const RetryStep&)>& afterStep,
                                      std::size_t most = 60) {
        std::vector<RetryStep> steps;
        const auto offered = [&] {
            const SimulatedMIDISystem::InputCounts counts = system->inputCounts(reader);
            return std::pair(counts.taken + counts.refused, counts.refused);
        };
        while (!over() && steps.size() < most) {
            const auto before = offered();
            // A bound only: the bridge's steps are 25 ms apart, or 250 ms after a refusal.
            if (!pumpUntil([&] { return offered().first > before.first || over(); }, std::chrono::seconds(30)) ||
                offered().first == before.first)
                break;
            const auto after = offered();
            steps.push_back({after.first - before.first, after.second > before.second});
            afterStep(steps.back());
        }
        return steps;
    }

    // Everything queued for the reader, read now.
    void readAll(MIDIRef reader) { system->readSome(reader, SimulatedMIDISystem::defaultInputPool); }

    // Lets everything the bridge and the devices have to say to each other arrive: work the
    // main queue posts for later in its turn (an LED update after a burst of host values) sends
    // again, so a few rounds.
    void settle() {
        for (int round = 0; round < 3; ++round) ASSERT_TRUE(system->settle());
    }

    // A button pressed and let go, and what follows settled.
    void tap(PushMIDIMap::Button button) {
        push->pressButton(button);
        push->releaseButton(button);
        settle();
    }

    // The script says hello and the bridge has answered.
    void connectCubase() {
        script->clearReceived();
        script->hello();
        ASSERT_TRUE(script->waitFor(BridgeMessage::bridgeHello("0.4.3", push->isPlugged())));
        ASSERT_TRUE(bridge->cubaseConnected());
    }

    // Until the first 1.5 s after connecting, when the status screen shows, are over, and the
    // redraw that ends it has come.
    void waitForHostPage() {
        ASSERT_TRUE(pumpUntil([&] { return bridge->screen() != BridgeScreen::status; }));
        pump(std::chrono::milliseconds(200));
    }

    // Renders so far, once the display has caught up with everything asked of it.
    int rendersWhenQuiet() {
        pump(std::chrono::milliseconds(80));
        return bridge->displayStats().framesRendered;
    }

    // Until the bridge renders again.
    bool rendersAfter(int renders) {
        return pumpUntil([&] { return bridge->displayStats().framesRendered > renders; });
    }

    static void pump(std::chrono::milliseconds duration) { MainQueue::pumpFor(duration); }
    static bool pumpUntil(const std::function<bool()>& condition,
                          std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        return MainQueue::pumpUntil(condition, timeout);
    }

    std::filesystem::path root;
    std::unique_ptr<Log> log;
    std::shared_ptr<UserDefaults> settings;
    std::shared_ptr<SimulatedMIDISystem> system = std::make_shared<SimulatedMIDISystem>();
    std::shared_ptr<SimulatedUSBDisplay> usb = std::make_shared<SimulatedUSBDisplay>();
    std::unique_ptr<SimulatedPush3> push;
    std::unique_ptr<SimulatedCubaseScript> script;
    BridgeOptions options;
    std::shared_ptr<Bridge> bridge;
};

}  // namespace corvane
