#include "corvane_diag/CommandRun.h"

#include <chrono>

#include "platform/MainQueue.h"

namespace corvane {

namespace {

std::chrono::nanoseconds scaled(double seconds, double scale) {
    return std::chrono::nanoseconds(static_cast<std::int64_t>(seconds * scale * 1e9));
}

}  // namespace

std::shared_ptr<CommandRun> CommandRun::create(DiagEnvironment& environment) {
    return std::shared_ptr<CommandRun>(new CommandRun(environment));
}

CommandRun::~CommandRun() {
    for (const auto& item : deferred_) item.cancel();
}

void CommandRun::print(std::string_view line) {
    if (finished_) return;
    environment_.output(line);
}

void CommandRun::finish(int status) {
    if (finished_) return;
    finished_ = true;
    status_ = status;
    for (const auto& item : deferred_) item.cancel();
    for (const auto& timer : timers_) timer.cancel();
    if (waiting_) MainQueue::quit();
}

void CommandRun::Poster::operator()(std::function<void()> work) const {
    MainQueue::async([run = run_, work = std::move(work)] {
        auto alive = run.lock();
        if (alive && !alive->finished()) work();
    });
}

std::function<void()> CommandRun::guarded(std::function<void()> work) {
    return [run = weak_from_this(), work = std::move(work)] {
        auto alive = run.lock();
        if (alive && !alive->finished()) work();
    };
}

void CommandRun::after(double seconds, std::function<void()> work) {
    if (finished_) return;
    deferred_.push_back(
        MainQueue::asyncAfter(scaled(seconds, environment_.timeScale), guarded(std::move(work))));
}

void CommandRun::timeOut(double seconds, std::function<std::string()> report) {
    // Deferred work runs only while the command does, so the run is still there.
    after(seconds, [this, report = std::move(report)] {
        print(report());
        finish(1);
    });
}

void CommandRun::every(double seconds, std::function<void()> work) {
    if (finished_) return;
    timers_.push_back(MainQueue::scheduleRepeating(scaled(seconds, environment_.timeScale),
                                                   std::chrono::nanoseconds(0), guarded(std::move(work))));
}

void CommandRun::catchInterrupt(std::function<void()> handler) {
    interrupt_ = environment_.catchInterrupt(guarded(std::move(handler)));
}

int CommandRun::wait() {
    waiting_ = true;
    if (environment_.started && !finished_) environment_.started(*this);
    while (!finished_) MainQueue::run();
    waiting_ = false;
    return status_;
}

}  // namespace corvane
