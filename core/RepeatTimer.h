#pragma once
// The one-shot timer that wakes the pad player for each note-repeat step. It runs on a thread
// of its own ("note-repeat") and waits on the monotonic clock, so steps a few milliseconds
// apart stay on time.
//
// The pad player arms it from inside its own lock, and the handler takes that same lock, so
// the handler always runs with none of the timer's locks held. Once cancelled, the timer never
// fires again and ignores every later schedule.
//
// The thread may run with real-time scheduling while the threads that arm it do not: its lock
// inherits priority, so an arming thread that the load pushed off the CPU while holding it gets
// the timer's priority until it lets go.

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/PIMutex.h"
#include "platform/SerialQueue.h"
#include "platform/WorkItem.h"

namespace corvane {

class RepeatTimer {
public:
    // `onStart` runs on the timer's own thread before anything else there: the program gives the
    // thread its scheduling with it.
    explicit RepeatTimer(std::function<void()> handler, std::function<void()> onStart = {});
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
    PIMutex lock_;
    WorkItem pending_;                  // guarded by lock_
    std::uint64_t generation_ = 0;      // guarded by lock_; counts schedules so stale firings drop
    bool cancelled_ = false;            // guarded by lock_
    SerialQueue queue_{"note-repeat"};  // last: its thread stops before the rest goes away
};

}  // namespace corvane
