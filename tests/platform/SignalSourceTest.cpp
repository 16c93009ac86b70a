#include "platform/MainQueue.h"
#include "platform/SignalSource.h"

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

namespace corvane {
namespace {

using namespace std::chrono_literals;

TEST(SignalSource, DeliversARaisedSignalOnTheMainQueueUntilDestroyed) {
    int delivered = 0;
    bool onMainQueue = false;
    auto source = std::make_unique<SignalSource>(SIGUSR1, [&] {
        ++delivered;
        onMainQueue = MainQueue::isCurrent();
    });
    EXPECT_EQ(source->signum(), SIGUSR1);
    ASSERT_EQ(std::raise(SIGUSR1), 0);
    ASSERT_TRUE(MainQueue::pumpUntil([&] { return delivered == 1; }, 5s));
    EXPECT_TRUE(onMainQueue);

    // A source may go away inside its own handler.
    source = std::make_unique<SignalSource>(SIGUSR2, [&] {
        ++delivered;
        source.reset();
    });
    ASSERT_EQ(std::raise(SIGUSR2), 0);
    ASSERT_TRUE(MainQueue::pumpUntil([&] { return delivered == 2; }, 5s));
    EXPECT_EQ(source, nullptr);
}

}  // namespace
}  // namespace corvane
