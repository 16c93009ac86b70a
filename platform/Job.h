#pragma once
// The shared state behind a WorkItem or a RepeatingTimer: the work itself and whether it was
// cancelled. Queues take the work out to run it, so cancelling never destroys a closure that is
// running, and a cancelled closure is released at once rather than when its time comes.

#include <functional>
#include <mutex>

#include "platform/PIMutex.h"

namespace corvane::detail {

class Job {
public:
    explicit Job(std::function<void()> work) : work_(std::move(work)) {}
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    // The work to run now, or an empty function when it was cancelled or is already taken.
    std::function<void()> begin() {
        std::lock_guard lock(mutex_);
        if (cancelled_) return {};
        return std::move(work_);
    }

    // Hands the work back after a firing of a repeating timer. False when the timer was
    // cancelled meanwhile; the caller then drops the work (outside any queue lock).
    bool end(std::function<void()>& work) {
        std::lock_guard lock(mutex_);
        if (cancelled_) return false;
        work_ = std::move(work);
        return true;
    }

    void cancel() {
        std::function<void()> released;
        {
            std::lock_guard lock(mutex_);
            cancelled_ = true;
            released = std::move(work_);
        }
        // The closure's captures are destroyed here, with no lock held.
    }

    bool isCancelled() const {
        std::lock_guard lock(mutex_);
        return cancelled_;
    }

private:
    // Inherits priority: a real-time queue takes the work out while normal threads cancel it.
    mutable PIMutex mutex_;
    std::function<void()> work_;
    bool cancelled_ = false;
};

}  // namespace corvane::detail
