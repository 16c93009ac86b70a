#pragma once
// The one-shot timer that wakes the pad player for each note-repeat step. It runs on a thread
// of its own ("note-repeat") and waits on the monotonic clock, so steps a few milliseconds
// apart stay on time.
//
// The pad player arms it from inside its own lock, and the handler takes that same lock, so
// the handler always runs with none of the timer's locks held. Once cancelled, the timer never
// fires again and ignores every later schedule.

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

#include "platform/SerialQueue.h"
#include "platform/WorkItem.h"

namespace corvane {

class RepeatTimer {
public:
    explicit RepeatTimer(std::function<void()> handler);
    ~RepeatTimer();
    RepeatTimer(const RepeatTimer&) = delete;
    RepeatTimer& operator=(const RepeatTimer&) = delete;

    // Fires once at `time`, seconds of monotonic uptime (MonotonicClock::seconds()), replacing
    // any earlier deadline; a time already past fires at once. Absent disarms the timer. The
    // time must be finite. From any thread.
    void schedule(std::optional<double> time);

    // Disarms the timer for good. Idempotent; from any thread. A firing already running on the
    // timer's thread finishes.
    void cancel();

private:
    void fire(std::uint64_t generation);

    const std::function<void()> handler_;
    std::mutex lock_;
    WorkItem pending_;                  // guarded by lock_
    std::uint64_t generation_ = 0;      // guarded by lock_; counts schedules so stale firings drop
    bool cancelled_ = false;            // guarded by lock_
    SerialQueue queue_{"note-repeat"};  // last: its thread stops before the rest goes away
};

}  // namespace corvane
