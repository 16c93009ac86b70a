#include "platform/TaskList.h"

#include <algorithm>

namespace corvane::detail {
namespace {

// std heap functions build a max-heap; "later" puts the earliest timer on top.
bool later(const Task& a, const Task& b) {
    if (a.deadline != b.deadline) return a.deadline > b.deadline;
    return a.sequence > b.sequence;
}

}  // namespace

void TaskList::post(Task task, Clock::time_point now) {
    promote(now);
    ready_.push_back(std::move(task));
}

void TaskList::postTimer(Task task, Clock::time_point now) {
    task.sequence = nextSequence_++;
    if (task.deadline <= now) {
        promote(now);
        ready_.push_back(std::move(task));
        return;
    }
    timers_.push_back(std::move(task));
    std::push_heap(timers_.begin(), timers_.end(), later);
}

void TaskList::promote(Clock::time_point now) {
    while (!timers_.empty() && timers_.front().deadline <= now) {
        std::pop_heap(timers_.begin(), timers_.end(), later);
        ready_.push_back(std::move(timers_.back()));
        timers_.pop_back();
    }
}

std::optional<Task> TaskList::take(Clock::time_point now) {
    promote(now);
    if (ready_.empty()) return std::nullopt;
    Task task = std::move(ready_.front());
    ready_.pop_front();
    return task;
}

std::size_t TaskList::readyCount(Clock::time_point now) {
    promote(now);
    return ready_.size();
}

std::optional<Clock::time_point> TaskList::nextDeadline() const {
    if (timers_.empty()) return std::nullopt;
    return timers_.front().deadline;
}

std::vector<Task> TaskList::dropTimers(Clock::time_point now) {
    // A timer that came due while the worker was busy has not been moved yet, but is due all the same.
    promote(now);
    std::vector<Task> dropped;
    dropped.swap(timers_);
    return dropped;
}

std::optional<Task> runTask(Task& task) {
    if (!task.job) {
        task.work();
        return std::nullopt;
    }
    std::function<void()> work = task.job->begin();
    if (!work) return std::nullopt;
    work();
    if (task.interval <= Clock::duration::zero()) return std::nullopt;
    if (!task.job->end(work)) return std::nullopt;  // `work` is released by our caller's scope

    const Clock::time_point now = Clock::now();
    Clock::time_point next = task.deadline + task.interval;
    if (next <= now) next += ((now - next) / task.interval + 1) * task.interval;
    task.deadline = next;
    return std::move(task);
}

}  // namespace corvane::detail
