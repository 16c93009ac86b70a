#include "tests/diag/DiagHarness.h"
#include "tests/support/TemporaryFolder.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>

namespace corvane {

DiagHarness::DiagHarness() {
    dataDirectory = newTemporaryFolder("corvane-diag-test") / "corvane";
    environment.midi = midi;
    environment.usb = [usb = usb] { return std::static_pointer_cast<USBBackend>(usb); };
    environment.usbListing = [] { return std::vector<USBDeviceRecord>{}; };
    environment.dataDirectory = dataDirectory;
    environment.output = [this](std::string_view text) {
        if (killed_) return;
        std::size_t start = 0;
        for (;;) {
            std::size_t end = text.find('\n', start);
            std::string line(text.substr(start, end == std::string_view::npos ? end : end - start));
            lines.push_back(line);
            if (!interruptText_.empty() && line.find(interruptText_) != std::string::npos) {
                interruptText_.clear();
                if (interruptHandler_) {
                    MainQueue::async([handler = interruptHandler_] { handler(); });
                } else {
                    killed_ = true;
                }
            }
            for (Reaction& reaction : reactions_) {
                if (reaction.done || line.find(reaction.text) == std::string::npos) continue;
                reaction.done = true;
                MainQueue::async(whileRunning(reaction.action));
            }
            if (end == std::string_view::npos) break;
            start = end + 1;
        }
    };
    environment.catchInterrupt = [this](std::function<void()> handler) -> std::shared_ptr<void> {
        interruptHandler_ = std::move(handler);
        return std::shared_ptr<void>(nullptr, [this](void*) { interruptHandler_ = nullptr; });
    };
    environment.started = [this](CommandRun& run) {
        running_ = &run;
        if (killed_) run.finish(130);
        for (auto& [seconds, action] : timed_) {
            pending_.push_back(MainQueue::asyncAfter(
                std::chrono::nanoseconds(static_cast<std::int64_t>(seconds * 1e9)), whileRunning(action)));
        }
        timed_.clear();
    };
}

DiagHarness::~DiagHarness() {
    midi->settle(std::chrono::seconds(2));
    std::error_code ignored;
    std::filesystem::remove_all(dataDirectory.parent_path(), ignored);
}

int DiagHarness::run(std::vector<std::string> arguments, double timeScale) {
    environment.timeScale = timeScale;
    killed_ = false;
    int status = runDiag(environment, std::move(arguments));
    if (killed_) status = 130;
    killed_ = false;
    interruptText_.clear();
    running_ = nullptr;
    for (const WorkItem& item : pending_) item.cancel();
    pending_.clear();
    polls_.clear();
    return status;
}

void DiagHarness::poll(std::function<bool()> condition, std::function<void()> action,
                       std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    auto step = std::make_shared<std::function<void()>>();
    *step = [this, condition = std::move(condition), action = std::move(action), deadline,
             weak = std::weak_ptr<std::function<void()>>(step)] {
        if (condition() || std::chrono::steady_clock::now() >= deadline) {
            action();
            return;
        }
        if (auto again = weak.lock()) {
            pending_.push_back(MainQueue::asyncAfter(std::chrono::milliseconds(10), whileRunning(*again)));
        }
    };
    polls_.push_back(step);
    (*step)();
}

std::function<void()> DiagHarness::whileRunning(std::function<void()> action) {
    return [this, alive = std::weak_ptr<int>(alive_), action = std::move(action)] {
        if (alive.lock() && running_ != nullptr) action();
    };
}

void DiagHarness::when(std::string text, std::function<void()> action) {
    reactions_.push_back({std::move(text), std::move(action)});
}

void DiagHarness::after(double seconds, std::function<void()> action) {
    timed_.emplace_back(seconds, std::move(action));
}

void DiagHarness::interruptAsPrinted(std::string text) { interruptText_ = std::move(text); }

void DiagHarness::interrupt() {
    if (interruptHandler_) {
        interruptHandler_();
    } else if (running_ != nullptr) {
        running_->finish(130);
    }
}

bool DiagHarness::printed(const std::string& line) const {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::vector<std::string> DiagHarness::linesFrom(const std::string& first) const {
    auto found = std::find(lines.begin(), lines.end(), first);
    return {found, lines.end()};
}

}  // namespace corvane
