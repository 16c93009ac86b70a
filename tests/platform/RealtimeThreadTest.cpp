#include "platform/RealtimeThread.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

namespace corvane {
namespace {

// The kernel and RealtimeKit as a test wants them; records what was asked of them.
class FakeRealtimeSystem final : public RealtimeSystem {
public:
    std::uint64_t limit = 0;
    bool privileged = false;  // may pass the limit, as root may
    std::optional<RealtimeKitLimits> kit;  // absent: no system bus
    bool kitRefuses = false;
    int rtTimeRefusal = 0;
    std::vector<std::string> asked;

    std::uint64_t priorityLimit() override { return limit; }
    int setFIFO(int priority) override {
        asked.push_back("SCHED_FIFO " + std::to_string(priority));
        return privileged || static_cast<std::uint64_t>(priority) <= limit ? 0 : EPERM;
    }
    RealtimeKitLimits realtimeKitLimits() override {
        asked.push_back("RealtimeKit limits");
        if (!kit) throw RealtimeKitError("Could not connect: No such file or directory");
        return *kit;
    }
    int limitRealtimeCPU(std::uint64_t microseconds) override {
        asked.push_back("RLIMIT_RTTIME " + std::to_string(microseconds));
        return rtTimeRefusal;
    }
    void realtimeKitMakeRealtime(int priority) override {
        asked.push_back("MakeThreadRealtime " + std::to_string(priority));
        if (kitRefuses) throw RealtimeKitError("Operation not permitted");
    }
};

using Method = RealtimeGrant::Method;

TEST(RealtimeThread, TakesSCHEDFIFOWhereAllowedElseRealtimeKitWithinItsLimitsElseRunsAsItIs) {
    {
        SCOPED_TRACE("RLIMIT_RTPRIO of the audio group: SCHED_FIFO at the modest priority, no bus");
        FakeRealtimeSystem system;
        system.limit = 95;
        const RealtimeGrant grant = RealtimeThread::promote(system);
        EXPECT_EQ(grant, (RealtimeGrant{Method::fifo, 10, {}}));
        EXPECT_EQ(system.asked, std::vector<std::string>{"SCHED_FIFO 10"});
        EXPECT_EQ(RealtimeThread::describe(grant), "real-time scheduling (SCHED_FIFO, priority 10)");
    }
    {
        SCOPED_TRACE("a limit below the modest priority: the limit");
        FakeRealtimeSystem system;
        system.limit = 4;
        EXPECT_EQ(RealtimeThread::promote(system), (RealtimeGrant{Method::fifo, 4, {}}));
    }
    {
        SCOPED_TRACE("no limit but privileged: the kernel is asked all the same");
        FakeRealtimeSystem system;
        system.privileged = true;
        EXPECT_EQ(RealtimeThread::promote(system), (RealtimeGrant{Method::fifo, 10, {}}));
    }
    {
        SCOPED_TRACE("refused: RealtimeKit, after RLIMIT_RTTIME is brought within its maximum");
        FakeRealtimeSystem system;
        system.kit = RealtimeKitLimits{20, 200000};
        const RealtimeGrant grant = RealtimeThread::promote(system);
        EXPECT_EQ(grant, (RealtimeGrant{Method::realtimeKit, 10, {}}));
        EXPECT_EQ(system.asked, (std::vector<std::string>{"SCHED_FIFO 10", "RealtimeKit limits",
                                                          "RLIMIT_RTTIME 200000", "MakeThreadRealtime 10"}));
        EXPECT_EQ(RealtimeThread::describe(grant), "real-time scheduling through RealtimeKit (priority 10)");
    }
    {
        SCOPED_TRACE("RealtimeKit allows less than the modest priority");
        FakeRealtimeSystem system;
        system.kit = RealtimeKitLimits{3, 200000};
        EXPECT_EQ(RealtimeThread::promote(system), (RealtimeGrant{Method::realtimeKit, 3, {}}));
    }
    {
        SCOPED_TRACE("no system bus: runs as it is, and says why");
        FakeRealtimeSystem system;
        const RealtimeGrant grant = RealtimeThread::promote(system);
        EXPECT_EQ(grant.method, Method::none);
        EXPECT_EQ(RealtimeThread::describe(grant),
                  "normal scheduling (SCHED_FIFO: Operation not permitted; RealtimeKit: Could not connect: "
                  "No such file or directory)");
    }
    {
        SCOPED_TRACE("RLIMIT_RTTIME cannot be lowered: RealtimeKit would refuse, so it is not asked");
        FakeRealtimeSystem system;
        system.kit = RealtimeKitLimits{20, 200000};
        system.rtTimeRefusal = EPERM;
        const RealtimeGrant grant = RealtimeThread::promote(system);
        EXPECT_EQ(grant.problem, "SCHED_FIFO: Operation not permitted; RealtimeKit: RLIMIT_RTTIME: Operation not permitted");
        EXPECT_EQ(system.asked.back(), "RLIMIT_RTTIME 200000");
    }
    {
        SCOPED_TRACE("RealtimeKit refuses, or allows no real-time priority at all");
        FakeRealtimeSystem refusing;
        refusing.kit = RealtimeKitLimits{20, 200000};
        refusing.kitRefuses = true;
        EXPECT_EQ(RealtimeThread::promote(refusing).problem,
                  "SCHED_FIFO: Operation not permitted; RealtimeKit: Operation not permitted");
        FakeRealtimeSystem none;
        none.kit = RealtimeKitLimits{0, 200000};
        EXPECT_EQ(RealtimeThread::promote(none).method, Method::none);
        EXPECT_EQ(none.asked.back(), "RealtimeKit limits");
    }
}

}  // namespace
}  // namespace corvane
