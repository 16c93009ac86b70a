#pragma once
// Owns a repeating timer on a queue: the timer runs until cancel() or until the handle goes
// away. Move-only, so there is one owner; an empty handle owns nothing.

#include "platform/Job.h"

#include <memory>
#include <utility>

namespace corvane {

class RepeatingTimer {
public:
    RepeatingTimer() = default;
    explicit RepeatingTimer(std::shared_ptr<detail::Job> job) : job_(std::move(job)) {}
    RepeatingTimer(const RepeatingTimer&) = delete;
    RepeatingTimer& operator=(const RepeatingTimer&) = delete;
    RepeatingTimer(RepeatingTimer&& other) noexcept : job_(std::move(other.job_)) {}
    RepeatingTimer& operator=(RepeatingTimer&& other) noexcept {
        if (this != &other) {
            cancel();
            job_ = std::move(other.job_);
        }
        return *this;
    }
    ~RepeatingTimer() { cancel(); }

    // From any thread, including the timer's own handler, any number of times. After it
    // returns the handler never starts again; a firing already running on another thread
    // finishes.
    void cancel() const {
        if (job_) job_->cancel();
    }

    bool isCancelled() const { return job_ && job_->isCancelled(); }

    // True while the handle owns a timer (cancelled or not).
    explicit operator bool() const { return job_ != nullptr; }

private:
    std::shared_ptr<detail::Job> job_;
};

}  // namespace corvane
