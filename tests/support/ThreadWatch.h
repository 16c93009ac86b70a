#pragma once
// What a thread does while a test watches it: the heap allocations it makes and the mutexes it
// locks, each held under the kernel's priority-inheritance protocol or as a plain one. And a way
// to see, without waiting for time to pass, that another thread is held up by a lock the calling
// thread holds.
//
// This object file replaces the test program's operator new and delete, pthread_mutex_lock and
// pthread_mutex_trylock; unwatched, they cost a thread-local read. What the simulated MIDI system
// does inside a call into it stands for the kernel's work and is left out.

#include <cstddef>

namespace corvane {

class ThreadWatch {
public:
    // Watches the calling thread until destroyed, which must happen on that thread. A watch made
    // while another lives counts alone until it goes.
    ThreadWatch();
    ~ThreadWatch();
    ThreadWatch(const ThreadWatch&) = delete;
    ThreadWatch& operator=(const ThreadWatch&) = delete;

    std::size_t allocations() const { return allocations_; }
    // The allocation after `count` more on this thread fails as it does when memory is short:
    // std::bad_alloc, or null from the nothrow forms. Once.
    void failAllocationAfter(std::size_t count) { failAfter_ = static_cast<long>(count); }
    std::size_t locks() const { return locks_; }
    // Of those, the ones held as plain mutexes, without priority inheritance.
    std::size_t plainLocks() const { return plainLocks_; }

private:
    friend struct ThreadWatchCounting;
    ThreadWatch* outer_;
    std::size_t allocations_ = 0;
    long failAfter_ = -1;  // -1: none fails
    std::size_t locks_ = 0;
    std::size_t plainLocks_ = 0;
};

// While one lives, a thread that finds a mutex taken notes whose it is before it waits for it.
class LockWaitWatch {
public:
    LockWaitWatch();
    ~LockWaitWatch();
    LockWaitWatch(const LockWaitWatch&) = delete;
    LockWaitWatch& operator=(const LockWaitWatch&) = delete;

    // True while another thread waits, or is about to, for a mutex the calling thread holds.
    static bool anotherThreadWaitsForMe();
};

}  // namespace corvane
