#pragma once
// Runs corvane-diag commands in process against the simulated MIDI system and USB display, with
// their output collected line by line and Ctrl-C played on demand.

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "corvane_diag/CommandRun.h"
#include "corvane_diag/DiagEnvironment.h"
#include "corvane_diag/Dispatch.h"
#include "platform/MainQueue.h"
#include "tests/support/SimulatedMIDISystem.h"
#include "tests/support/SimulatedUSBDisplay.h"

namespace corvane {

class DiagHarness {
public:
    DiagHarness();
    ~DiagHarness();

    std::shared_ptr<SimulatedMIDISystem> midi = std::make_shared<SimulatedMIDISystem>();
    std::shared_ptr<SimulatedUSBDisplay> usb = std::make_shared<SimulatedUSBDisplay>();
    DiagEnvironment environment;
    std::filesystem::path dataDirectory;
    std::vector<std::string> lines;

    // Runs `arguments` as the command line would, with every wait `timeScale` times as long.
    int run(std::vector<std::string> arguments, double timeScale = 1.0);

    // Once a printed line contains `text`, `action` runs on the main queue (after the command's
    // work in progress), once.
    void when(std::string text, std::function<void()> action);
    // After `seconds` of the command running, `action` runs on the main queue.
    void after(double seconds, std::function<void()> action);
    // From now on, checks `condition` every 10 ms while the command runs; runs `action` once it
    // holds, or once `timeout` has passed.
    void poll(std::function<bool()> condition, std::function<void()> action,
              std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Plays Ctrl-C: the command's handler when it set one, else the end of the process (130).
    void interrupt();
    // Plays Ctrl-C the moment a printed line contains `text`, as the process takes a signal then:
    // a handler the command has set runs on the main queue next; without one the process ends
    // at once with 130, and nothing the command does after that counts.
    void interruptAsPrinted(std::string text);

    bool printed(const std::string& line) const;
    // The lines from the first that equals `first`, or none.
    std::vector<std::string> linesFrom(const std::string& first) const;

private:
    struct Reaction {
        std::string text;
        std::function<void()> action;
        bool done = false;
    };
    std::vector<Reaction> reactions_;
    std::string interruptText_;
    bool killed_ = false;
    std::vector<std::pair<double, std::function<void()>>> timed_;
    // Runs `action` on the main queue, if a command still runs by then.
    std::function<void()> whileRunning(std::function<void()> action);

    std::function<void()> interruptHandler_;
    CommandRun* running_ = nullptr;
    std::vector<WorkItem> pending_;
    std::vector<std::shared_ptr<std::function<void()>>> polls_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace corvane
