#pragma once
// A condition variable for PIMutex, on the monotonic clock (steady_clock), with the waiting
// functions of std::condition_variable that this program uses. It waits on the mutex itself, so
// a real-time waiter takes no plain lock on the way in or out, as std::condition_variable_any
// would make it do.

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>

#include "platform/PIMutex.h"

namespace corvane {

class PICondition {
public:
    PICondition();
    ~PICondition();
    PICondition(const PICondition&) = delete;
    PICondition& operator=(const PICondition&) = delete;

    void notify_one() noexcept;
    void notify_all() noexcept;

    void wait(std::unique_lock<PIMutex>& lock);
    std::cv_status wait_until(std::unique_lock<PIMutex>& lock, std::chrono::steady_clock::time_point deadline);

    template <class Predicate>
    void wait(std::unique_lock<PIMutex>& lock, Predicate done) {
        while (!done()) wait(lock);
    }

    template <class Predicate>
    bool wait_until(std::unique_lock<PIMutex>& lock, std::chrono::steady_clock::time_point deadline,
                    Predicate done) {
        while (!done()) {
            if (wait_until(lock, deadline) == std::cv_status::timeout) return done();
        }
        return true;
    }

    template <class Rep, class Period, class Predicate>
    bool wait_for(std::unique_lock<PIMutex>& lock, std::chrono::duration<Rep, Period> timeout, Predicate done) {
        return wait_until(lock,
                          std::chrono::steady_clock::now() +
                              std::chrono::duration_cast<std::chrono::steady_clock::duration>(timeout),
                          std::move(done));
    }

private:
    pthread_cond_t condition_;
};

}  // namespace corvane
