#pragma once
// Real-time scheduling for one thread of ours, as audio programs get it on Linux: SCHED_FIFO set
// directly where this process may (RLIMIT_RTPRIO, which members of the "audio" group usually get,
// or the privilege to pass it), else through RealtimeKit, else nothing and the thread runs as it
// was. Every step is best effort and bounded in time.

#include <cstdint>
#include <string>

#include "platform/RealtimeKit.h"

namespace corvane {

// What a thread got.
struct RealtimeGrant {
    enum class Method { fifo, realtimeKit, none };
    Method method = Method::none;
    int priority = 0;     // the real-time priority granted; 0 with none
    std::string problem;  // why neither way worked, with none

    bool operator==(const RealtimeGrant&) const = default;
};

// What asking for real-time scheduling takes from the system, for the calling thread. The
// program uses the kernel and RealtimeKit; tests stand in for them.
class RealtimeSystem {
public:
    virtual ~RealtimeSystem() = default;
    // RLIMIT_RTPRIO (soft): the highest real-time priority the thread may set itself.
    virtual std::uint64_t priorityLimit() = 0;
    // SCHED_FIFO at `priority`: 0, or the error number of the refusal.
    virtual int setFIFO(int priority) = 0;
    // Throws RealtimeKitError when RealtimeKit does not answer.
    virtual RealtimeKitLimits realtimeKitLimits() = 0;
    // Lowers RLIMIT_RTTIME, soft and hard, to `microseconds` where it is higher: 0, or the error
    // number of the refusal.
    virtual int limitRealtimeCPU(std::uint64_t microseconds) = 0;
    // Throws RealtimeKitError when RealtimeKit refuses or does not answer.
    virtual void realtimeKitMakeRealtime(int priority) = 0;
};

namespace RealtimeThread {

// Above every normal thread, below the audio servers' own threads (RealtimeKit's default ceiling
// is 20, JACK and PipeWire run higher), so it never holds up sound.
inline constexpr int modestPriority = 10;

// Asks for real-time scheduling for the calling thread at `priority` (lowered to what the limit
// or RealtimeKit allows).
RealtimeGrant promote(RealtimeSystem& system, int priority = modestPriority);

// The same with the kernel and RealtimeKit on the system bus.
RealtimeGrant promoteCurrentThread(int priority = modestPriority);

// "real-time scheduling (SCHED_FIFO, priority 10)", "real-time scheduling through RealtimeKit
// (priority 10)" or "normal scheduling (<problem>)".
std::string describe(const RealtimeGrant& grant);

}  // namespace RealtimeThread

}  // namespace corvane
