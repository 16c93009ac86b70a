#include "platform/RealtimeThread.h"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <system_error>

namespace corvane {

namespace {

using namespace std::chrono_literals;

// Long enough for the bus to start RealtimeKit on demand, short enough that a bus that hangs
// does not hold up the thread for long.
constexpr auto realtimeKitTimeout = 500ms;

std::string errorText(int error) { return std::generic_category().message(error); }

class KernelAndRealtimeKit final : public RealtimeSystem {
public:
    std::uint64_t priorityLimit() override {
        rlimit limit{};
        if (getrlimit(RLIMIT_RTPRIO, &limit) != 0) return 0;
        return limit.rlim_cur;
    }

    int setFIFO(int priority) override {
        sched_param parameter{};
        parameter.sched_priority = priority;
        // pid 0 is the calling thread. Children never inherit it.
        if (sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &parameter) == 0) return 0;
        return errno;
    }

    RealtimeKitLimits realtimeKitLimits() override { return client().limits(); }

    int limitRealtimeCPU(std::uint64_t microseconds) override {
        rlimit limit{};
        if (getrlimit(RLIMIT_RTTIME, &limit) != 0) return errno;
        if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max <= microseconds) return 0;
        limit.rlim_cur = limit.rlim_max = microseconds;
        return setrlimit(RLIMIT_RTTIME, &limit) == 0 ? 0 : errno;
    }

    void realtimeKitMakeRealtime(int priority) override {
        client().makeThreadRealtime(static_cast<std::uint64_t>(gettid()), static_cast<std::uint32_t>(priority));
    }

private:
    RealtimeKitClient& client() {
        if (!client_) client_ = std::make_unique<RealtimeKitClient>(realtimeKitTimeout);
        return *client_;
    }

    std::unique_ptr<RealtimeKitClient> client_;
};

}  // namespace

RealtimeGrant RealtimeThread::promote(RealtimeSystem& system, int priority) {
    // The kernel allows up to the limit, and any priority to a privileged process whatever the
    // limit, so it is asked even at a limit of 0.
    const std::uint64_t limit = system.priorityLimit();
    const int asked = limit > 0 ? static_cast<int>(std::min<std::uint64_t>(static_cast<std::uint64_t>(priority), limit))
                                : priority;
    const int refusal = system.setFIFO(asked);
    if (refusal == 0) return RealtimeGrant{RealtimeGrant::Method::fifo, asked, {}};

    const std::string refused = "SCHED_FIFO: " + errorText(refusal);
    try {
        const RealtimeKitLimits limits = system.realtimeKitLimits();
        if (limits.maxPriority < 1) throw RealtimeKitError("no real-time priority allowed");
        const int granted = std::min(priority, limits.maxPriority);
        if (limits.maxRTTimeMicroseconds > 0) {
            if (int error = system.limitRealtimeCPU(static_cast<std::uint64_t>(limits.maxRTTimeMicroseconds));
                error != 0) {
                throw RealtimeKitError("RLIMIT_RTTIME: " + errorText(error));
            }
        }
        system.realtimeKitMakeRealtime(granted);
        return RealtimeGrant{RealtimeGrant::Method::realtimeKit, granted, {}};
    } catch (const RealtimeKitError& error) {
        return RealtimeGrant{RealtimeGrant::Method::none, 0, refused + "; RealtimeKit: " + error.what()};
    }
}

RealtimeGrant RealtimeThread::promoteCurrentThread(int priority) {
    KernelAndRealtimeKit system;
    return promote(system, priority);
}

std::string RealtimeThread::describe(const RealtimeGrant& grant) {
    switch (grant.method) {
        case RealtimeGrant::Method::fifo:
            return "real-time scheduling (SCHED_FIFO, priority " + std::to_string(grant.priority) + ")";
        case RealtimeGrant::Method::realtimeKit:
            return "real-time scheduling through RealtimeKit (priority " + std::to_string(grant.priority) + ")";
        case RealtimeGrant::Method::none:
            break;
    }
    return "normal scheduling (" + grant.problem + ")";
}

}  // namespace corvane
