#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "hardware/USBDisplayMonitor.h"
#include "platform/MainQueue.h"
#include "tests/support/SimulatedUSBDisplay.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

// Retries wait for the test instead of the clock.
class ManualTimer {
public:
    USBDisplayMonitor::RetryTimer timer() {
        return [this](std::chrono::nanoseconds delay, std::function<void()> work) {
            auto cancelled = std::make_shared<bool>(false);
            delays.push_back(std::chrono::duration<double>(delay).count());
            pending.push_back({std::move(work), cancelled});
            return std::function<void()>([cancelled] { *cancelled = true; });
        };
    }

    // Runs the retries that are waiting and not cancelled.
    void fire() {
        auto due = std::move(pending);
        pending.clear();
        for (auto& retry : due) {
            if (!*retry.cancelled) retry.work();
        }
    }

    // Runs the last retry asked for even though it was cancelled, as when cancelling comes
    // too late.
    void fireLastRegardless() { pending.back().work(); }

    std::size_t waiting() const {
        return static_cast<std::size_t>(
            std::count_if(pending.begin(), pending.end(), [](const Retry& r) { return !*r.cancelled; }));
    }

    std::vector<double> delays;

private:
    struct Retry {
        std::function<void()> work;
        std::shared_ptr<bool> cancelled;
    };
    std::vector<Retry> pending;
};

// Lets everything already posted to the main queue run.
void deliver() {
    bool done = false;
    MainQueue::async([&] { done = true; });
    ASSERT_TRUE(MainQueue::pumpUntil([&] { return done; }, 2s));
}

class USBDisplayMonitorTest : public ::testing::Test {
protected:
    void SetUp() override { makeMonitor(timer.timer()); }

    void makeMonitor(USBDisplayMonitor::RetryTimer retryTimer) {
        monitor =
            std::make_unique<USBDisplayMonitor>(DisplayFormat::push3ProductID, usb, std::move(retryTimer));
        monitor->onAttach = [this](const std::shared_ptr<USBDisplay>& display) {
            events.push_back("attach");
            attached = display;
        };
        monitor->onDetach = [this] { events.push_back("detach"); };
        monitor->onError = [this](const USBDisplayError& error) { events.push_back(error.what()); };
    }

    std::shared_ptr<SimulatedUSBDisplay> usb = std::make_shared<SimulatedUSBDisplay>();
    ManualTimer timer;
    std::unique_ptr<USBDisplayMonitor> monitor;
    Strings events;
    std::shared_ptr<USBDisplay> attached;
};

const std::string accessDenied = "Could not open display interface: Access denied (insufficient permissions)";

TEST_F(USBDisplayMonitorTest, ADisplayPluggedInBeforehandAttachesDuringStart) {
    USBDeviceID device = usb->plug();
    monitor->start();
    EXPECT_EQ(events, Strings{"attach"});
    ASSERT_TRUE(monitor->display());
    EXPECT_EQ(monitor->display(), attached);
    EXPECT_EQ(attached->device(), device);
}

TEST_F(USBDisplayMonitorTest, FollowsTheDisplayBeingPluggedUnpluggedAndPluggedAgain) {
    monitor->start();
    EXPECT_TRUE(events.empty());

    USBDeviceID first = usb->plug();
    deliver();
    EXPECT_EQ(events, Strings{"attach"});
    EXPECT_EQ(attached->device(), first);

    usb->unplug(first);
    deliver();
    EXPECT_EQ(events, (Strings{"attach", "detach"}));
    EXPECT_FALSE(monitor->display());
    EXPECT_TRUE(attached->isClosed());
    EXPECT_TRUE(timer.delays.empty()) << "a plain detach schedules no retry";

    USBDeviceID second = usb->plug();
    deliver();
    EXPECT_EQ(events, (Strings{"attach", "detach", "attach"}));
    EXPECT_EQ(monitor->display()->device(), second);
    EXPECT_EQ(usb->opens(), 2);
}

TEST_F(USBDisplayMonitorTest, AnotherDisplayLeavingLeavesTheOpenOneAlone) {
    USBDeviceID inUse = usb->plug();
    USBDeviceID other = usb->plug();
    monitor->start();
    EXPECT_EQ(events, Strings{"attach"});
    EXPECT_EQ(attached->device(), inUse);

    usb->unplug(other);
    deliver();
    EXPECT_EQ(events, Strings{"attach"});
    EXPECT_FALSE(attached->isClosed());

    usb->unplug(inUse);
    deliver();
    EXPECT_EQ(events, (Strings{"attach", "detach"}));
}

TEST_F(USBDisplayMonitorTest, AnOpenFailingThreeTimesIsReportedOnceAndRetriedAfterHalfOneAndTwoSeconds) {
    usb->failOpens(USBDisplayError::openFailed("Access denied (insufficient permissions)"), 3);
    usb->plug();
    monitor->start();
    EXPECT_EQ(events, Strings{accessDenied});
    EXPECT_EQ(timer.delays, std::vector<double>{0.5});

    timer.fire();
    timer.fire();
    EXPECT_EQ(timer.delays, (std::vector<double>{0.5, 1.0, 2.0}));
    EXPECT_EQ(events, Strings{accessDenied});

    timer.fire();
    EXPECT_EQ(events, (Strings{accessDenied, "attach"}));
    EXPECT_EQ(usb->openAttempts(), 4);
    EXPECT_EQ(timer.waiting(), 0u);
}

TEST_F(USBDisplayMonitorTest, DelaysDoubleUpToFiveSecondsUntilADisplayArrives) {
    usb->failOpens(USBDisplayError::openFailed("Resource busy"), SimulatedUSBDisplay::always);
    usb->plug();
    monitor->start();
    for (int i = 0; i < 5; ++i) timer.fire();
    EXPECT_EQ(timer.delays, (std::vector<double>{0.5, 1, 2, 4, 5, 5}));

    // An arrival cancels the waiting retry and starts again from half a second.
    usb->plug();
    deliver();
    EXPECT_EQ(timer.delays.back(), 0.5);
    EXPECT_EQ(timer.waiting(), 1u);
    EXPECT_EQ(events, Strings{"Could not open display interface: Resource busy"});

    // A different failure is news.
    usb->failOpens(USBDisplayError::openFailed("Pipe error"));
    timer.fire();
    EXPECT_EQ(events.back(), "Could not open display interface: Pipe error");
    timer.fire();
    EXPECT_EQ(events.back(), "attach");
}

TEST_F(USBDisplayMonitorTest, AFailedTransferClosesTheDisplayAndReopensItAfterTheCurrentDelay) {
    usb->plug();
    monitor->start();
    monitor->transferFailed(monitor->display());
    EXPECT_EQ(events, (Strings{"attach", "detach"}));
    EXPECT_FALSE(monitor->display());
    EXPECT_EQ(usb->openInterfaces(), 0);
    EXPECT_EQ(timer.delays, std::vector<double>{0.5});

    timer.fire();
    EXPECT_EQ(events, (Strings{"attach", "detach", "attach"}));
    ASSERT_TRUE(monitor->display());

    // Only an arrival resets the delay; a reopen by retry does not.
    monitor->transferFailed(monitor->display());
    EXPECT_EQ(timer.delays, (std::vector<double>{0.5, 1.0}));
}

TEST_F(USBDisplayMonitorTest, ARetryFindingADisplayOpenDoesNothing) {
    usb->failOpens(USBDisplayError::openFailed("Resource busy"));
    usb->plug();
    monitor->start();
    usb->plug();
    deliver();
    EXPECT_EQ(events.back(), "attach");
    EXPECT_EQ(timer.waiting(), 0u) << "the arrival cancelled the retry";

    timer.fireLastRegardless();
    EXPECT_EQ(usb->openAttempts(), 2);
    EXPECT_EQ(events.size(), 2u);
}

TEST_F(USBDisplayMonitorTest, ARetryAfterTheMonitorIsGoneDoesNothing) {
    usb->failOpens(USBDisplayError::openFailed("Resource busy"));
    usb->plug();
    monitor->start();
    monitor.reset();
    timer.fireLastRegardless();
    EXPECT_EQ(usb->openAttempts(), 1);
}

TEST_F(USBDisplayMonitorTest, StopClosesTheDisplayAndStopsWatchingAndRetrying) {
    usb->plug();
    monitor->start();
    monitor->transferFailed(monitor->display());
    timer.fire();
    monitor->transferFailed(monitor->display());
    ASSERT_EQ(timer.waiting(), 1u);
    timer.fire();
    ASSERT_TRUE(monitor->display());

    monitor->stop();
    EXPECT_EQ(events.back(), "detach");
    EXPECT_EQ(usb->openInterfaces(), 0);
    EXPECT_EQ(usb->activeWatches(), 0);
    usb->plug();
    deliver();
    EXPECT_EQ(events.back(), "detach");

    monitor->start();
    EXPECT_EQ(events.back(), "attach") << "started again, it finds what is plugged in";
}

TEST_F(USBDisplayMonitorTest, StopCancelsAWaitingRetry) {
    usb->failOpens(USBDisplayError::openFailed("Resource busy"));
    usb->plug();
    monitor->start();
    monitor->stop();
    EXPECT_EQ(timer.waiting(), 0u);

    // A transfer failing late, or a retry whose cancelling came too late, opens nothing.
    monitor->transferFailed(monitor->display());
    EXPECT_EQ(timer.waiting(), 0u);
    timer.fireLastRegardless();
    EXPECT_FALSE(monitor->display());
    EXPECT_EQ(usb->openInterfaces(), 0);
}

TEST_F(USBDisplayMonitorTest, ReleasingTheMonitorClosesTheDisplayWithoutCallingBack) {
    usb->plug();
    monitor->start();
    monitor.reset();
    EXPECT_EQ(events, Strings{"attach"});
    EXPECT_TRUE(attached->isClosed());
    usb->plug();
    deliver();
    EXPECT_EQ(events, Strings{"attach"});
}

TEST_F(USBDisplayMonitorTest, AMachineWithoutHotplugSaysSoOnceAndStillOpensADisplayPresent) {
    usb->failWatches(USBDisplayError::unavailable("no hotplug"));
    monitor->start();
    EXPECT_EQ(events, Strings{"USB display unavailable: no hotplug"});
    EXPECT_TRUE(timer.delays.empty());

    monitor->stop();
    usb->plug();
    monitor->start();
    EXPECT_EQ(events, (Strings{"USB display unavailable: no hotplug", "attach"}));
}

TEST_F(USBDisplayMonitorTest, RetriesRunOnTheMainQueueByDefault) {
    makeMonitor(USBDisplayMonitor::mainQueueTimer());
    usb->failOpens(USBDisplayError::openFailed("Resource busy"));
    usb->plug();
    monitor->start();
    EXPECT_EQ(events, Strings{"Could not open display interface: Resource busy"});
    EXPECT_TRUE(MainQueue::pumpUntil([&] { return monitor->display() != nullptr; }, 3s));
    EXPECT_EQ(events.back(), "attach");
}

}  // namespace
}  // namespace corvane
