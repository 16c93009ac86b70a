#include "platform/PICondition.h"

#include <ctime>

#include "platform/Precondition.h"

namespace corvane {

PICondition::PICondition() {
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    // steady_clock is CLOCK_MONOTONIC.
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    pthread_cond_init(&condition_, &attributes);
    pthread_condattr_destroy(&attributes);
}

PICondition::~PICondition() { pthread_cond_destroy(&condition_); }

void PICondition::notify_one() noexcept { pthread_cond_signal(&condition_); }

void PICondition::notify_all() noexcept { pthread_cond_broadcast(&condition_); }

void PICondition::wait(std::unique_lock<PIMutex>& lock) {
    precondition(lock.owns_lock(), "waiting needs the lock held");
    pthread_cond_wait(&condition_, lock.mutex()->native_handle());
}

std::cv_status PICondition::wait_until(std::unique_lock<PIMutex>& lock,
                                       std::chrono::steady_clock::time_point deadline) {
    precondition(lock.owns_lock(), "waiting needs the lock held");
    using namespace std::chrono;
    const nanoseconds since = deadline.time_since_epoch();
    timespec until{};
    if (since > nanoseconds::zero()) {
        // Far-off deadlines are as good as never; time_t holds them on every 64-bit system.
        const auto whole = duration_cast<seconds>(since);
        until.tv_sec = static_cast<std::time_t>(whole.count());
        until.tv_nsec = static_cast<long>((since - whole).count());
    }
    pthread_cond_timedwait(&condition_, lock.mutex()->native_handle(), &until);
    // Judged by the clock, as std::condition_variable does.
    return steady_clock::now() < deadline ? std::cv_status::no_timeout : std::cv_status::timeout;
}

}  // namespace corvane
