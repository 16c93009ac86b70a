#pragma once
// A mutex with priority inheritance. While a higher-priority thread waits for it, its holder runs
// at that thread's priority, so a real-time thread that shares a lock with normal threads never
// waits behind a holder that the machine's load keeps off the CPU. Uncontended it costs what a
// plain mutex costs.
//
// Lockable: use it with std::lock_guard, std::unique_lock and std::scoped_lock, and wait on it
// with PICondition.

#include <pthread.h>

namespace corvane {

class PIMutex {
public:
    PIMutex();
    ~PIMutex();
    PIMutex(const PIMutex&) = delete;
    PIMutex& operator=(const PIMutex&) = delete;

    // Throws std::system_error when the system refuses, as std::mutex does.
    void lock();
    bool try_lock();
    void unlock();

    pthread_mutex_t* native_handle() { return &mutex_; }

    // PTHREAD_PRIO_INHERIT, or PTHREAD_PRIO_NONE on a system without priority-inheriting
    // futexes, where it is a plain mutex.
    int protocol() const { return protocol_; }

private:
    pthread_mutex_t mutex_;
    int protocol_ = PTHREAD_PRIO_NONE;
};

}  // namespace corvane
