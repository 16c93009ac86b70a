#include "platform/MainQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/MainQueueSignal.h"
#include "tests/support/ThreadWatch.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(MainQueueOrder, WorkFromSeveralThreadsRunsInTheOrderPosted) {
    std::mutex ticketMutex;
    int nextTicket = 0;
    auto ran = std::make_shared<std::vector<int>>();
    std::vector<std::thread> producers;
    for (int t = 0; t < 4; ++t) {
        producers.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                std::lock_guard lock(ticketMutex);
                const int ticket = nextTicket++;
                MainQueue::async([ran, ticket] { ran->push_back(ticket); });
            }
        });
    }
    for (auto& p : producers) p.join();
    ASSERT_TRUE(MainQueue::pumpUntil([&] { return ran->size() == 2000; }, 5s));
    for (int i = 0; i < 2000; ++i) ASSERT_EQ((*ran)[i], i);
}

TEST(MainQueueOrder, ADueTimerRunsAfterEarlierWorkAndBeforeLaterWork) {
    auto ran = std::make_shared<std::vector<std::string>>();
    const auto posted = Clock::now();
    MainQueue::asyncAfter(300ms, [ran] { ran->push_back("timer"); });
    std::thread([ran] { MainQueue::async([ran] { ran->push_back("before"); }); }).join();
    // A post after the deadline would rightly come after the timer.
    if (Clock::now() >= posted + 300ms) GTEST_SKIP() << "posting took longer than the timer's delay";
    std::this_thread::sleep_until(posted + 400ms);
    std::thread([ran] { MainQueue::async([ran] { ran->push_back("after"); }); }).join();
    ASSERT_TRUE(MainQueue::pumpUntil([&] { return ran->size() == 3; }, 5s));
    EXPECT_EQ(*ran, (std::vector<std::string>{"before", "timer", "after"}));
}

TEST(MainQueueTimers, NeverRunEarly) {
    int ran = 0;
    int early = 0;
    for (int us : {3000, 500, 2000, 100, 1000, 0}) {
        const auto due = Clock::now() + std::chrono::microseconds(us);
        MainQueue::asyncAfter(std::chrono::microseconds(us), [&, due] {
            if (Clock::now() < due) ++early;
            ++ran;
        });
    }
    ASSERT_TRUE(MainQueue::pumpUntil([&] { return ran == 6; }, 5s));
    EXPECT_EQ(early, 0);
}

TEST(MainQueueTimers, RunInDeadlineOrderThenPostingOrder) {
    std::vector<std::string> order;
    // Far enough ahead that every timer is posted before the first comes due; a due timer
    // joins the queue when posted, so a slower post would rightly change the order.
    const auto base = Clock::now() + 200ms;
    for (auto [ms, name] : {std::pair{6, "d"}, {2, "b"}, {0, "a"}, {2, "c"}, {4, "e"}}) {
        MainQueue::asyncAt(base + std::chrono::milliseconds(ms),
                           [&order, name = std::string(name)] { order.push_back(name); });
    }
    if (Clock::now() >= base) GTEST_SKIP() << "posting took longer than the lead time";
    std::this_thread::sleep_until(base + 20ms);
    ASSERT_TRUE(MainQueue::pumpUntil([&] { return order.size() == 5; }, 5s));
    EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "c", "e", "d"}));
}

TEST(MainQueueTimers, ACancelledItemNeverRunsEvenWhenAlreadyDue) {
    auto ran = std::make_shared<bool>(false);
    WorkItem due = MainQueue::asyncAfter(1ms, [ran] { *ran = true; });
    std::this_thread::sleep_for(5ms);
    due.cancel();
    WorkItem fromThread = MainQueue::asyncAfter(0ns, [ran] { *ran = true; });
    std::thread([fromThread] { fromThread.cancel(); }).join();
    MainQueue::pumpFor(20ms);
    EXPECT_FALSE(*ran);
    EXPECT_TRUE(due.isCancelled());
}

TEST(MainQueueTimers, ARepeatingTimerStopsWhenCancelledInsideItsHandler) {
    int fired = 0;
    int early = 0;
    const auto start = Clock::now();
    RepeatingTimer timer = MainQueue::scheduleRepeating(2ms, [&] {
        ++fired;
        if (Clock::now() < start + fired * 2ms) ++early;
        if (fired == 3) timer.cancel();
    });
    ASSERT_TRUE(MainQueue::pumpUntil([&] { return fired == 3; }, 5s));
    MainQueue::pumpFor(20ms);
    EXPECT_EQ(fired, 3);
    EXPECT_EQ(early, 0);
}

TEST(MainQueueThreads, IsCurrentOnlyOnTheMainThread) {
    EXPECT_TRUE(MainQueue::isCurrent());
    bool insideTask = false;
    MainQueue::async([&] { insideTask = MainQueue::isCurrent(); });
    ASSERT_TRUE(MainQueue::pumpUntil([&] { return insideTask; }, 5s));
    std::atomic<bool> elsewhere{true};
    std::thread([&] { elsewhere = MainQueue::isCurrent(); }).join();
    EXPECT_FALSE(elsewhere);
}

// A real-time thread may post: every lock that takes inherits priority, so a main thread that
// the load keeps off the CPU while it holds one runs at the poster's priority until it lets go.
TEST(MainQueueThreads, PostingFromAnyThreadTakesOnlyLocksThatInheritPriority) {
    std::size_t locks = 0, plainLocks = 0;
    std::atomic<int> ran = 0;
    std::thread([&] {
        ThreadWatch watch;
        MainQueue::async([&] { ++ran; });
        MainQueue::asyncAfter(1ms, [&] { ++ran; });
        locks = watch.locks();
        plainLocks = watch.plainLocks();
    }).join();
    EXPECT_GT(locks, 0u);
    EXPECT_EQ(plainLocks, 0u);
    EXPECT_TRUE(MainQueue::pumpUntil([&] { return ran == 2; }, 5s));
}

// A thread that must not wait or allocate raises a signal instead of posting: the handler runs
// on the main queue, once for raises that come together, and again for a raise after it ran.
TEST(MainQueueSignal, RaisesFromAnyThreadRunTheHandlerOnTheMainQueueWithoutAllocatingOrLocking) {
    std::atomic<int> runs = 0;
    std::atomic<int> offMain = 0;
    MainQueueSignal signal([&] {
        if (!MainQueue::isCurrent()) ++offMain;
        ++runs;
    });
    std::size_t allocations = 1, locks = 1;
    std::thread([&] {
        ThreadWatch watch;
        for (int i = 0; i < 1000; ++i) signal.raise();
        allocations = watch.allocations();
        locks = watch.locks();
    }).join();
    EXPECT_EQ(allocations, 0u);
    EXPECT_EQ(locks, 0u);
    ASSERT_TRUE(MainQueue::pumpUntil([&] { return runs > 0; }, 5s));
    MainQueue::pumpFor(20ms);
    EXPECT_EQ(runs, 1);

    std::thread([&] { signal.raise(); }).join();
    EXPECT_TRUE(MainQueue::pumpUntil([&] { return runs == 2; }, 5s));
    EXPECT_EQ(offMain, 0);
}

TEST(MainQueueRun, QuitFromAnotherThreadEndsRun) {
    bool ran = false;
    MainQueue::async([&] { ran = true; });
    std::thread quitter([] {
        std::this_thread::sleep_for(5ms);
        MainQueue::quit();
    });
    MainQueue::run();
    quitter.join();
    EXPECT_TRUE(ran);

    MainQueue::quit();
    MainQueue::run();  // returns at once
}

}  // namespace
}  // namespace corvane
