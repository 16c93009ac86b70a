#include "tests/support/ThreadWatch.h"

#include <dlfcn.h>
#include <linux/futex.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <new>

#include "tests/support/SimulatedMIDISystem.h"

namespace corvane {

namespace {

thread_local ThreadWatch* watching = nullptr;

// Mutexes threads wait for, with their holders when those threads found them taken.
std::atomic<int> lockWaitWatches{0};
struct Waiting {
    std::atomic<pthread_mutex_t*> mutex{nullptr};
    std::atomic<int> holder{0};
};
std::array<Waiting, 256> waiting{};

using LockFunction = int (*)(pthread_mutex_t*);

// The C library's own, looked up on first use: a static initialiser of another file may lock
// before this file's have run.
LockFunction next(std::atomic<LockFunction>& cached, const char* name) {
    LockFunction function = cached.load(std::memory_order_acquire);
    if (function == nullptr) {
        function = reinterpret_cast<LockFunction>(dlsym(RTLD_NEXT, name));
        if (function == nullptr) std::abort();
        cached.store(function, std::memory_order_release);
    }
    return function;
}

std::atomic<LockFunction> cLock{nullptr};
std::atomic<LockFunction> cTryLock{nullptr};

Waiting* noteWaitFor(pthread_mutex_t* mutex) {
    const int holder = __atomic_load_n(&mutex->__data.__owner, __ATOMIC_RELAXED);
    if (holder == 0) return nullptr;
    for (Waiting& slot : waiting) {
        pthread_mutex_t* free = nullptr;
        if (!slot.mutex.compare_exchange_strong(free, mutex)) continue;
        slot.holder.store(holder);
        return &slot;
    }
    return nullptr;
}

void doneWaiting(Waiting* slot) {
    if (slot == nullptr) return;
    slot->holder.store(0);
    slot->mutex.store(nullptr);
}

}  // namespace

struct ThreadWatchCounting {
    // False when this allocation is to fail.
    static bool allocation() {
        ThreadWatch* watch = watching;
        if (watch == nullptr || SimulatedMIDISystem::busyOnThisThread()) return true;
        ++watch->allocations_;
        if (watch->failAfter_ < 0) return true;
        return watch->failAfter_-- != 0;
    }

    static void locked(pthread_mutex_t* mutex) {
        ThreadWatch* watch = watching;
        if (watch == nullptr || SimulatedMIDISystem::busyOnThisThread()) return;
        ++watch->locks_;
        // A priority-inheriting futex holds its holder's thread id, which the kernel boosts; a
        // plain mutex holds 1 or 2.
        if ((__atomic_load_n(&mutex->__data.__lock, __ATOMIC_RELAXED) & FUTEX_TID_MASK) !=
            static_cast<unsigned>(gettid()))
            ++watch->plainLocks_;
    }
};

ThreadWatch::ThreadWatch() : outer_(watching) { watching = this; }

ThreadWatch::~ThreadWatch() { watching = outer_; }

LockWaitWatch::LockWaitWatch() { lockWaitWatches.fetch_add(1); }

LockWaitWatch::~LockWaitWatch() { lockWaitWatches.fetch_sub(1); }

bool LockWaitWatch::anotherThreadWaitsForMe() {
    const int me = gettid();
    for (const Waiting& slot : waiting) {
        pthread_mutex_t* mutex = slot.mutex.load();
        // Held by this thread still: a mutex it has let go of since holds up no one.
        if (mutex != nullptr && slot.holder.load() == me &&
            __atomic_load_n(&mutex->__data.__owner, __ATOMIC_RELAXED) == me)
            return true;
    }
    return false;
}

}  // namespace corvane

namespace {

void* allocate(std::size_t size) noexcept {
    if (!corvane::ThreadWatchCounting::allocation()) return nullptr;
    return std::malloc(size == 0 ? 1 : size);
}

void* allocateAligned(std::size_t size, std::align_val_t alignment) noexcept {
    if (!corvane::ThreadWatchCounting::allocation()) return nullptr;
    void* memory = nullptr;
    const std::size_t align = std::max(static_cast<std::size_t>(alignment), sizeof(void*));
    return posix_memalign(&memory, align, size == 0 ? 1 : size) == 0 ? memory : nullptr;
}

void* orThrow(void* memory) {
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}

}  // namespace

void* operator new(std::size_t size) { return orThrow(allocate(size)); }
void* operator new[](std::size_t size) { return orThrow(allocate(size)); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new(std::size_t size, std::align_val_t alignment) {
    return orThrow(allocateAligned(size, alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return orThrow(allocateAligned(size, alignment));
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return allocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return allocateAligned(size, alignment);
}

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete(void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept { std::free(memory); }
void operator delete(void* memory, std::align_val_t, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, std::align_val_t, const std::nothrow_t&) noexcept { std::free(memory); }

extern "C" int pthread_mutex_trylock(pthread_mutex_t* mutex) noexcept {
    const int result = corvane::next(corvane::cTryLock, "pthread_mutex_trylock")(mutex);
    if (result == 0) corvane::ThreadWatchCounting::locked(mutex);
    return result;
}

extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex) noexcept {
    const corvane::LockFunction lock = corvane::next(corvane::cLock, "pthread_mutex_lock");
    corvane::Waiting* noted = nullptr;
    if (corvane::lockWaitWatches.load(std::memory_order_relaxed) > 0) {
        if (corvane::next(corvane::cTryLock, "pthread_mutex_trylock")(mutex) == 0) {
            corvane::ThreadWatchCounting::locked(mutex);
            return 0;
        }
        noted = corvane::noteWaitFor(mutex);
    }
    const int result = lock(mutex);
    corvane::doneWaiting(noted);
    if (result == 0) corvane::ThreadWatchCounting::locked(mutex);
    return result;
}
