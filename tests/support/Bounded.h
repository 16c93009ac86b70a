#pragma once
// Work that a regression could make hang or swallow memory (a FIFO read, a read of /dev/zero) runs
// under a watchdog: past the time or the growth it ends the test process with a message, so the
// run fails instead of stalling CI or filling the machine.

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <thread>

namespace corvane {

// Resident bytes of this process.
inline std::size_t residentBytes() {
    std::size_t pages = 0;
    std::size_t resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

template <class Work>
void withinBounds(std::chrono::seconds limit, std::size_t growthMebibytes, Work&& work) {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    const std::size_t ceiling = residentBytes() + growthMebibytes * 1024 * 1024;
    std::thread watchdog([&] {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        std::unique_lock lock(mutex);
        while (!done) {
            if (std::chrono::steady_clock::now() >= deadline) {
                std::fprintf(stderr, "still not done after %lld s\n", static_cast<long long>(limit.count()));
                _exit(124);
            }
            if (residentBytes() > ceiling) {
                std::fprintf(stderr, "grew by more than %zu MiB\n", growthMebibytes);
                _exit(125);
            }
            finished.wait_for(lock, std::chrono::milliseconds(10));
        }
    });
    work();
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    finished.notify_one();
    watchdog.join();
}

}  // namespace corvane
