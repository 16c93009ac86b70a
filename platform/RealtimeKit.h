#pragma once
// RealtimeKit (org.freedesktop.RealtimeKit1), the system service that hands real-time scheduling
// to threads of users who may not set it themselves, reached over D-Bus on the system bus. It
// serves only a process whose RLIMIT_RTTIME is no higher than its RTTimeUSecMax.
//
// Every call waits at most the time-out given; a machine without a system bus fails at once.

#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>

typedef struct _GDBusConnection GDBusConnection;

namespace corvane {

class RealtimeKitError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct RealtimeKitLimits {
    int maxPriority = 0;                 // MaxRealtimePriority
    std::int64_t maxRTTimeMicroseconds = 0;  // RTTimeUSecMax

    bool operator==(const RealtimeKitLimits&) const = default;
};

class RealtimeKitClient {
public:
    // A connection of its own to the system bus. Throws RealtimeKitError.
    explicit RealtimeKitClient(std::chrono::milliseconds timeout);
    ~RealtimeKitClient();
    RealtimeKitClient(const RealtimeKitClient&) = delete;
    RealtimeKitClient& operator=(const RealtimeKitClient&) = delete;

    // Throws RealtimeKitError.
    RealtimeKitLimits limits();
    // `threadID` is the kernel's id of a thread of this process (gettid()). Throws RealtimeKitError.
    void makeThreadRealtime(std::uint64_t threadID, std::uint32_t priority);

private:
    GDBusConnection* connection_ = nullptr;
    int timeoutMilliseconds_;
};

}  // namespace corvane
