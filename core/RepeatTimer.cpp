#include "core/RepeatTimer.h"

#include <sys/prctl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <utility>

#include "platform/Precondition.h"

namespace corvane {

namespace {

// Beyond this many seconds of uptime (about 292 years in nanoseconds) a deadline no longer
// fits the clock; it is as good as never.
constexpr double latestDeadline = 9.0e9;

}  // namespace

RepeatTimer::RepeatTimer(std::function<void()> handler, std::function<void()> onStart)
    : handler_(std::move(handler)) {
    // No leeway: by default the kernel may wake a waiting thread up to 50 µs late to batch
    // wake-ups. Best effort; a refusal leaves the default.
    queue_.async([onStart = std::move(onStart)] {
        prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
        if (onStart) onStart();
    });
}

RepeatTimer::~RepeatTimer() { cancel(); }

void RepeatTimer::schedule(std::optional<double> time) {
    precondition(!time || std::isfinite(*time), "a repeat time must be finite");
    std::lock_guard guard(lock_);
    if (cancelled_) return;
    pending_.cancel();
    pending_ = WorkItem();
    const std::uint64_t generation = ++generation_;
    if (!time || *time > latestDeadline) return;

    const auto sinceStart = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(std::max(*time, 0.0)));
    pending_ = queue_.asyncAt(std::chrono::steady_clock::time_point(sinceStart),
                              [this, generation] { fire(generation); });
}

void RepeatTimer::cancel() {
    std::lock_guard guard(lock_);
    cancelled_ = true;
    ++generation_;
    pending_.cancel();
    pending_ = WorkItem();
}

void RepeatTimer::fire(std::uint64_t generation) {
    {
        std::lock_guard guard(lock_);
        // Superseded between falling due and starting to run.
        if (cancelled_ || generation != generation_) return;
    }
    handler_();
}

}  // namespace corvane
