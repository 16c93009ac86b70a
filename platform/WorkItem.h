#pragma once
// A handle to work deferred on a queue. Copies share the same work; dropping every handle does
// not cancel it.

#include "platform/Job.h"

#include <memory>

namespace corvane {

class WorkItem {
public:
    // An empty handle: cancel() does nothing, isCancelled() is false.
    WorkItem() = default;
    explicit WorkItem(std::shared_ptr<detail::Job> job) : job_(std::move(job)) {}

    // From any thread, any number of times. Work that has not started never runs, even when
    // it is already due; work that is running finishes. Its closure is released at once.
    void cancel() const {
        if (job_) job_->cancel();
    }

    bool isCancelled() const { return job_ && job_->isCancelled(); }

private:
    std::shared_ptr<detail::Job> job_;
};

}  // namespace corvane
