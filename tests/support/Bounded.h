#pragma once
// Work that a regression could make hang or swallow memory (a FIFO read, a read of /dev/zero) runs
// under a watchdog: past the time or the growth it ends the test process with a message, so the
// run fails instead of stalling CI or filling the machine. Growth is sampled while the work runs
// and, where the kernel keeps a resettable peak, checked against the peak when it is done, so a
// short burst between two samples is caught too.

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

namespace corvane {

// Resident bytes of this process.
inline std::size_t residentBytes() {
    std::size_t pages = 0;
    std::size_t resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

// Starts a new peak of resident memory at its present size; false where the kernel cannot.
inline bool resetPeakResident() {
    const int file = ::open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC);
    if (file < 0) return false;
    const bool reset = ::write(file, "5", 1) == 1;
    ::close(file);
    return reset;
}

// The peak of resident bytes since the last reset, from the kernel's VmHWM; 0 when unknown.
inline std::size_t peakResidentBytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) return std::stoul(line.substr(6)) * 1024;
    }
    return 0;
}

template <class Work>
void withinBounds(std::chrono::seconds limit, std::size_t growthMebibytes, Work&& work) {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    const std::size_t ceiling = residentBytes() + growthMebibytes * 1024 * 1024;
    const bool peakKept = resetPeakResident();
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
    if (peakKept && peakResidentBytes() > ceiling) {
        std::fprintf(stderr, "peaked at more than %zu MiB of growth\n", growthMebibytes);
        _exit(125);
    }
}

}  // namespace corvane
