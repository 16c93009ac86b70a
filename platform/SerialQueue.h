#pragma once
// A serial queue: one worker thread of its own runs the queue's work one item at a time, in the
// order posted; timers join that order when they come due. Timers wait on steady_clock with
// sub-millisecond precision and never fire early.
//
// Destruction: work that was already posted for now (async, sync, and timers already due) still
// runs, in order; delayed work not yet due and repeating timers are cancelled (their handles
// read as cancelled and their closures are released). Immediate work posted while those last
// items run is accepted and runs too; delayed work posted then is cancelled at once. The destructor then waits for the
// worker, except when it runs on the worker itself (the last owner let go inside a task): then
// the worker finishes the remaining items on its own and ends, and nothing is joined.
//
// Work must not throw: an exception escaping a task ends the program.

#include "platform/RepeatingTimer.h"
#include "platform/WorkItem.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace corvane {

class SerialQueue {
public:
    explicit SerialQueue(std::string label);
    ~SerialQueue();
    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void async(std::function<void()> work);

    // Runs no earlier than `delay` from now (a negative delay counts as none).
    WorkItem asyncAfter(std::chrono::nanoseconds delay, std::function<void()> work);
    // Runs no earlier than `deadline`.
    WorkItem asyncAt(std::chrono::steady_clock::time_point deadline, std::function<void()> work);

    // Runs `work` on the queue and waits for it. On the queue's own thread it runs inline.
    void sync(const std::function<void()>& work);

    // First firing one interval from now, then every interval after that; firings that could
    // not happen in time are skipped, not bunched. `leeway` is how late a firing may be; this
    // queue aims at the exact time whatever it is. The interval must be positive.
    [[nodiscard]] RepeatingTimer scheduleRepeating(std::chrono::nanoseconds interval,
                                                   std::chrono::nanoseconds leeway,
                                                   std::function<void()> handler);

    // True on the queue's worker thread.
    bool isCurrent() const;
    const std::string& label() const;

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
    std::thread worker_;
};

}  // namespace corvane
