#pragma once
// The work of one queue: a first-in-first-out list of work that is ready and a heap of timers.
// A timer joins the end of the list when it comes due, so work posted before that moment runs
// before it and work posted after runs after it. Not locked: its queue holds a lock around every
// call, and runs the work it takes with the lock released.

#include "platform/Job.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace corvane::detail {

using Clock = std::chrono::steady_clock;

struct Task {
    std::function<void()> work;    // plain work; empty when `job` holds it
    std::shared_ptr<Job> job;      // cancellable work or a repeating timer
    Clock::time_point deadline{};  // for timers
    Clock::duration interval{};    // positive for a repeating timer
    std::uint64_t sequence = 0;    // keeps timers with the same deadline in posting order
};

class TaskList {
public:
    void post(Task task, Clock::time_point now);
    void postTimer(Task task, Clock::time_point now);

    // The next task to run at `now`, first moving every due timer to the end of the list.
    std::optional<Task> take(Clock::time_point now);

    // How many tasks are ready at `now` (due timers included).
    std::size_t readyCount(Clock::time_point now);

    std::optional<Clock::time_point> nextDeadline() const;

    // Removes every timer that is not yet due at `now`; those already due join the list first.
    // The caller destroys the removed ones without the lock.
    std::vector<Task> dropTimers(Clock::time_point now);

private:
    void promote(Clock::time_point now);

    std::deque<Task> ready_;
    std::vector<Task> timers_;  // a min-heap on (deadline, sequence)
    std::uint64_t nextSequence_ = 0;
};

// Runs a task (with no queue lock held). A repeating timer that is still live comes back with
// its next deadline, to be posted again; missed firings are skipped, not run in a burst.
std::optional<Task> runTask(Task& task);

}  // namespace corvane::detail
