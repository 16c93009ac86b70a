#include "platform/SerialQueue.h"

#include "platform/PICondition.h"
#include "platform/PIMutex.h"
#include "platform/Precondition.h"
#include "platform/TaskList.h"

#include <pthread.h>
#include <sys/prctl.h>
#include <algorithm>
#include <condition_variable>
#include <mutex>

namespace corvane {

using detail::Clock;
using detail::Task;

struct SerialQueue::Shared {
    explicit Shared(std::string name) : label(std::move(name)) {}

    const std::string label;
    std::thread::id thread;
    // Inherits priority: the worker may be a real-time thread (the note-repeat timer's) that
    // normal threads post to.
    PIMutex mutex;
    PICondition wake;
    detail::TaskList tasks;
    bool stopping = false;  // the owner is going away: no new timers
    bool finished = false;  // the worker has ended
};

namespace {

void workerLoop(const std::shared_ptr<SerialQueue::Shared>& shared) {
    // Thread names are limited to 15 characters.
    pthread_setname_np(pthread_self(), shared->label.substr(0, 15).c_str());
    // Linux lets a sleeping thread wake up to 50 µs late by default; timers want it on time.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    std::unique_lock lock(shared->mutex);
    for (;;) {
        if (std::optional<Task> task = shared->tasks.take(Clock::now())) {
            lock.unlock();
            std::optional<Task> again = detail::runTask(*task);
            task.reset();
            lock.lock();
            if (again && !shared->stopping) {
                shared->tasks.postTimer(std::move(*again), Clock::now());
            } else if (again) {
                lock.unlock();
                again->job->cancel();  // releases the closure, without the lock
                again.reset();
                lock.lock();
            }
            continue;
        }
        if (shared->stopping) break;
        if (std::optional<Clock::time_point> deadline = shared->tasks.nextDeadline()) {
            shared->wake.wait_until(lock, *deadline);
        } else {
            shared->wake.wait(lock);
        }
    }
    shared->finished = true;
}

}  // namespace

SerialQueue::SerialQueue(std::string label) : shared_(std::make_shared<Shared>(std::move(label))) {
    // The worker holds its own reference, so it can outlive a queue destroyed on that worker.
    std::lock_guard lock(shared_->mutex);
    worker_ = std::thread([shared = shared_] { workerLoop(shared); });
    shared_->thread = worker_.get_id();
}

SerialQueue::~SerialQueue() {
    std::vector<Task> dropped;
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stopping = true;
        dropped = shared_->tasks.dropTimers(Clock::now());
    }
    shared_->wake.notify_one();
    // Their handles read as cancelled, and their closures go now.
    for (Task& task : dropped) task.job->cancel();
    dropped.clear();
    if (worker_.get_id() == std::this_thread::get_id()) {
        worker_.detach();
    } else {
        worker_.join();
    }
}

void SerialQueue::async(std::function<void()> work) {
    {
        std::unique_lock lock(shared_->mutex);
        if (shared_->finished) {
            lock.unlock();
            return;  // `work` is released here, without the lock
        }
        shared_->tasks.post(Task{std::move(work), nullptr, {}, {}, 0}, Clock::now());
    }
    shared_->wake.notify_one();
}

WorkItem SerialQueue::asyncAfter(std::chrono::nanoseconds delay, std::function<void()> work) {
    return asyncAt(Clock::now() + std::max(delay, std::chrono::nanoseconds::zero()), std::move(work));
}

WorkItem SerialQueue::asyncAt(Clock::time_point deadline, std::function<void()> work) {
    auto job = std::make_shared<detail::Job>(std::move(work));
    {
        std::lock_guard lock(shared_->mutex);
        if (!shared_->stopping) {
            shared_->tasks.postTimer(Task{{}, job, deadline, {}, 0}, Clock::now());
            shared_->wake.notify_one();
            return WorkItem(job);
        }
    }
    job->cancel();
    return WorkItem(job);
}

void SerialQueue::sync(const std::function<void()>& work) {
    if (isCurrent()) {
        work();
        return;
    }
    std::mutex doneMutex;
    std::condition_variable doneSignal;
    bool done = false;
    {
        std::unique_lock lock(shared_->mutex);
        if (shared_->finished) {
            // Nothing else can run on this queue any more, so running here keeps it serial.
            lock.unlock();
            work();
            return;
        }
        shared_->tasks.post(Task{[&] {
                                     work();
                                     std::lock_guard doneLock(doneMutex);
                                     done = true;
                                     doneSignal.notify_one();
                                 },
                                 nullptr,
                                 {},
                                 {},
                                 0},
                            Clock::now());
    }
    shared_->wake.notify_one();
    std::unique_lock doneLock(doneMutex);
    doneSignal.wait(doneLock, [&] { return done; });
}

RepeatingTimer SerialQueue::scheduleRepeating(std::chrono::nanoseconds interval, std::chrono::nanoseconds,
                                              std::function<void()> handler) {
    if (interval <= std::chrono::nanoseconds::zero()) {
        preconditionFailure("a repeating timer needs a positive interval");
    }
    auto job = std::make_shared<detail::Job>(std::move(handler));
    {
        std::lock_guard lock(shared_->mutex);
        if (!shared_->stopping) {
            const Clock::time_point now = Clock::now();
            shared_->tasks.postTimer(Task{{}, job, now + interval, interval, 0}, now);
            shared_->wake.notify_one();
            return RepeatingTimer(job);
        }
    }
    job->cancel();
    return RepeatingTimer(job);
}

bool SerialQueue::isCurrent() const { return std::this_thread::get_id() == shared_->thread; }

const std::string& SerialQueue::label() const { return shared_->label; }

}  // namespace corvane
