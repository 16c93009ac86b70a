#include "platform/SerialQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace corvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Holds a queue's worker inside one task until opened, so work piles up behind it.
class Gate {
public:
    void blockOn(SerialQueue& queue) {
        std::promise<void> entered;
        queue.async([this, &entered] {
            entered.set_value();
            openedFuture_.wait();
        });
        entered.get_future().wait();
    }
    void open() { opened_.set_value(); }

private:
    std::promise<void> opened_;
    std::future<void> openedFuture_ = opened_.get_future();
};

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 5s) {
    const auto end = Clock::now() + timeout;
    while (!condition()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(SerialQueueOrder, WorkFromSeveralThreadsRunsInTheOrderPosted) {
    SerialQueue queue("test.order");
    std::mutex ticketMutex;
    int nextTicket = 0;
    std::vector<int> ran;  // touched only on the queue
    std::vector<std::thread> producers;
    for (int t = 0; t < 4; ++t) {
        producers.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                std::lock_guard lock(ticketMutex);
                const int ticket = nextTicket++;
                queue.async([&ran, ticket] { ran.push_back(ticket); });
            }
        });
    }
    for (auto& p : producers) p.join();
    queue.sync([] {});
    ASSERT_EQ(ran.size(), 2000u);
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(ran[i], i);
}

TEST(SerialQueueOrder, ADueTimerRunsAfterEarlierWorkAndBeforeLaterWork) {
    SerialQueue queue("test.timers");
    std::vector<std::string> ran;
    Gate gate;
    gate.blockOn(queue);
    queue.asyncAfter(100ms, [&] { ran.push_back("timer"); });
    queue.async([&] { ran.push_back("before"); });
    std::this_thread::sleep_for(200ms);
    queue.async([&] { ran.push_back("after"); });
    gate.open();
    queue.sync([] {});
    EXPECT_EQ(ran, (std::vector<std::string>{"before", "timer", "after"}));
}

TEST(SerialQueueTimers, NeverRunEarly) {
    SerialQueue queue("test.early");
    std::atomic<int> ran{0};
    std::atomic<int> early{0};
    for (int us : {3000, 500, 2000, 100, 1000, 0}) {
        const auto due = Clock::now() + std::chrono::microseconds(us);
        queue.asyncAfter(std::chrono::microseconds(us), [&, due] {
            if (Clock::now() < due) ++early;
            ++ran;
        });
    }
    ASSERT_TRUE(waitFor([&] { return ran == 6; }));
    EXPECT_EQ(early, 0);
}

TEST(SerialQueueTimers, RunInDeadlineOrderThenPostingOrder) {
    SerialQueue queue("test.deadlines");
    std::vector<std::string> order;
    // Far enough ahead that every timer is posted before the first comes due; a due timer
    // joins the queue when posted, so a slower post would rightly change the order.
    const auto base = Clock::now() + 200ms;
    for (auto [ms, name] : {std::pair{6, "d"}, {2, "b"}, {0, "a"}, {2, "c"}, {4, "e"}}) {
        queue.asyncAt(base + std::chrono::milliseconds(ms),
                      [&order, name = std::string(name)] { order.push_back(name); });
    }
    if (Clock::now() >= base) GTEST_SKIP() << "posting took longer than the lead time";
    std::this_thread::sleep_until(base + 20ms);
    queue.sync([] {});
    EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "c", "e", "d"}));
}

TEST(SerialQueueTimers, ACancelledItemNeverRunsEvenWhenAlreadyDue) {
    SerialQueue queue("test.cancel");
    auto capture = std::make_shared<int>(0);
    std::weak_ptr<int> watch = capture;
    bool ran = false;
    Gate gate;
    gate.blockOn(queue);
    WorkItem item = queue.asyncAfter(0ns, [&ran, capture] { ran = true; });
    capture.reset();
    std::this_thread::sleep_for(2ms);
    WorkItem copy = item;
    copy.cancel();
    copy.cancel();
    EXPECT_TRUE(item.isCancelled());
    EXPECT_TRUE(watch.expired()) << "a cancelled item keeps its closure";
    gate.open();
    queue.sync([] {});
    EXPECT_FALSE(ran);

    WorkItem empty;
    empty.cancel();
    EXPECT_FALSE(empty.isCancelled());
}

TEST(SerialQueueTimers, ARepeatingTimerFiresOnScheduleUntilCancelledInsideItsHandler) {
    RepeatingTimer timer;  // outlives the queue's worker, which uses it
    SerialQueue queue("test.repeat");
    std::atomic<int> fired{0};
    std::atomic<int> early{0};
    const auto start = Clock::now();
    queue.sync([&] {
        timer = queue.scheduleRepeating(2ms, 0ns, [&] {
            const int n = ++fired;
            if (Clock::now() < start + n * 2ms) ++early;
            if (n == 3) timer.cancel();
        });
    });
    ASSERT_TRUE(waitFor([&] { return fired == 3; }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(fired, 3);
    EXPECT_EQ(early, 0);
    EXPECT_TRUE(timer.isCancelled());
}

TEST(SerialQueueTimers, DroppingTheHandleInsideTheHandlerStopsTheTimer) {
    RepeatingTimer timer;
    SerialQueue queue("test.drop");
    std::atomic<int> fired{0};
    queue.sync([&] {
        timer = queue.scheduleRepeating(1ms, 0ns, [&] {
            timer = RepeatingTimer();
            ++fired;
        });
    });
    ASSERT_TRUE(waitFor([&] { return fired == 1; }));
    std::this_thread::sleep_for(10ms);
    EXPECT_EQ(fired, 1);
}

TEST(SerialQueueSync, RunsInlineOnItsOwnThreadAndWaitsFromOthers) {
    SerialQueue queue("test.sync");
    EXPECT_EQ(queue.label(), "test.sync");
    EXPECT_FALSE(queue.isCurrent());
    bool inner = false;
    bool onQueue = false;
    queue.sync([&] {
        onQueue = queue.isCurrent();
        queue.sync([&] { inner = true; });
    });
    EXPECT_TRUE(onQueue);
    EXPECT_TRUE(inner);
}

TEST(SerialQueueDestruction, RunsPostedWorkAndDropsDelayedWork) {
    std::vector<int> ran;
    auto delayedCapture = std::make_shared<int>(0);
    std::weak_ptr<int> delayedWatch = delayedCapture;
    bool delayedRan = false;
    bool repeatRan = false;
    RepeatingTimer timer;
    Gate gate;
    std::thread opener;
    {
        SerialQueue queue("test.destroy");
        gate.blockOn(queue);
        for (int i = 0; i < 3; ++i) queue.async([&ran, i] { ran.push_back(i); });
        queue.asyncAfter(1h, [&delayedRan, delayedCapture] { delayedRan = true; });
        delayedCapture.reset();
        timer = queue.scheduleRepeating(1h, 0ns, [&] { repeatRan = true; });
        opener = std::thread([&] {
            std::this_thread::sleep_for(5ms);
            gate.open();
        });
    }
    opener.join();
    EXPECT_EQ(ran, (std::vector<int>{0, 1, 2}));
    EXPECT_FALSE(delayedRan);
    EXPECT_FALSE(repeatRan);
    EXPECT_TRUE(delayedWatch.expired());
    EXPECT_TRUE(timer.isCancelled());
    timer.cancel();  // harmless after the queue is gone
}

TEST(SerialQueueDestruction, ATimerThatCameDueWhileTheWorkerWasBusyStillRuns) {
    bool dueRan = false;
    Gate gate;
    std::thread opener;
    {
        SerialQueue queue("test.due");
        gate.blockOn(queue);
        queue.asyncAfter(1ms, [&dueRan] { dueRan = true; });
        std::this_thread::sleep_for(20ms);  // due now, with the worker still held
        opener = std::thread([&] {
            std::this_thread::sleep_for(5ms);
            gate.open();
        });
    }
    opener.join();
    EXPECT_TRUE(dueRan);
}

TEST(SerialQueueDestruction, DestroyedOnItsOwnThreadItFinishesAlone) {
    auto queue = std::make_unique<SerialQueue>("test.self");
    std::atomic<bool> later{false};
    std::atomic<bool> destroyed{false};
    Gate gate;
    gate.blockOn(*queue);
    queue->async([&] {
        queue.reset();
        destroyed = true;
    });
    queue->async([&] { later = true; });
    gate.open();
    EXPECT_TRUE(waitFor([&] { return destroyed && later; }));
}

}  // namespace
}  // namespace corvane
