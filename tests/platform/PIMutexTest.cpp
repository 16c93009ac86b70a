#include "platform/PIMutex.h"

#include <gtest/gtest.h>
#include <linux/futex.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "platform/PICondition.h"

namespace corvane {
namespace {

// The kernel boosts the holder of a priority-inheriting futex by the thread id stored in it; a
// plain mutex stores 1 or 2 there instead.
int holderOf(PIMutex& mutex) { return mutex.native_handle()->__data.__lock & FUTEX_TID_MASK; }

TEST(PIMutex, IsHeldUnderTheKernelsPriorityInheritanceProtocolAlsoAfterAConditionWait) {
    PIMutex mutex;
    ASSERT_EQ(mutex.protocol(), PTHREAD_PRIO_INHERIT);
    {
        std::lock_guard guard(mutex);
        EXPECT_EQ(holderOf(mutex), gettid());
    }
    EXPECT_EQ(holderOf(mutex), 0);

    PICondition condition;
    bool ready = false;
    int waiter = 0;
    std::thread other([&] {
        std::unique_lock lock(mutex);
        condition.wait(lock, [&] { return ready; });
        waiter = holderOf(mutex);
        EXPECT_EQ(waiter, gettid());
    });
    {
        std::lock_guard guard(mutex);
        ready = true;
    }
    condition.notify_one();
    other.join();
    EXPECT_NE(waiter, 0);

    std::unique_lock lock(mutex);
    EXPECT_EQ(condition.wait_until(lock, std::chrono::steady_clock::now()), std::cv_status::timeout);
    EXPECT_EQ(holderOf(mutex), gettid());
}

}  // namespace
}  // namespace corvane
