#pragma once
// What a MIDI receive callback got in a real-kernel test, one entry per byte run; filled on the
// backend's receive thread, waited for on the test's.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "hardware/MIDIBackend.h"

namespace corvane::vm {

using Bytes = std::vector<std::uint8_t>;

class Runs {
public:
    MIDIReceiveCallback callback() {
        return [this](std::span<const std::uint8_t> run) {
            std::lock_guard guard(lock_);
            runs_.emplace_back(run.begin(), run.end());
            arrived_.notify_all();
        };
    }

    // Waits until `count` bytes have come, then returns every run so far.
    std::vector<Bytes> waitForBytes(std::size_t count,
                                    std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        std::unique_lock guard(lock_);
        arrived_.wait_for(guard, timeout, [&] { return totalLocked() >= count; });
        return runs_;
    }

    std::size_t total() {
        std::lock_guard guard(lock_);
        return totalLocked();
    }

private:
    std::size_t totalLocked() const {
        std::size_t sum = 0;
        for (const auto& run : runs_) sum += run.size();
        return sum;
    }

    std::mutex lock_;
    std::condition_variable arrived_;
    std::vector<Bytes> runs_;
};

inline Bytes joined(const std::vector<Bytes>& runs) {
    Bytes all;
    for (const auto& run : runs) all.insert(all.end(), run.begin(), run.end());
    return all;
}

}  // namespace corvane::vm
