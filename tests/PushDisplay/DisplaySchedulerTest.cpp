#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "PushDisplay/DisplayScheduler.h"
#include "platform/MainQueue.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Head = std::vector<std::uint8_t>;

// The first wire word of a frame filled with pure red, per pixel order.
const Head redBGR{0xF8, 0xF3, 0xF8, 0xFF};
const Head redRGB{0xE7, 0x0B, 0xE7, 0x07};

Head headOf(DisplayColor c, PixelOrder order) {
    const std::uint32_t word =
        (std::uint32_t{pack(order, c.r, c.g, c.b)} * 0x10001u) ^ DisplayFormat::xorWord;
    return {std::uint8_t(word), std::uint8_t(word >> 8), std::uint8_t(word >> 16), std::uint8_t(word >> 24)};
}

// Records what it is sent; can hold a transfer until released, or fail every transfer.
class RecordingSink : public FrameSink {
public:
    double send(const PushFrame& frame) override {
        checkFrameLength(frame);
        std::unique_lock lock(mutex_);
        ++attempts_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return open_; });
        if (failing_) throw std::runtime_error("Display transfer failed: unplugged");
        heads_.emplace_back(frame.bytes.begin(), frame.bytes.begin() + 4);
        changed_.notify_all();
        return 0.004;
    }

    void hold() {
        set([&] { open_ = false; });
    }
    void release() {
        set([&] { open_ = true; });
    }
    void fail() {
        set([&] { failing_ = true; });
    }

    std::vector<Head> heads() const {
        std::lock_guard lock(mutex_);
        return heads_;
    }
    std::size_t sent() const { return heads().size(); }
    int attempts() const {
        std::lock_guard lock(mutex_);
        return attempts_;
    }
    bool waitForSent(std::size_t count, std::chrono::milliseconds timeout = 2s) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return heads_.size() >= count; });
    }
    bool waitForAttempts(int count, std::chrono::milliseconds timeout = 2s) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return attempts_ >= count; });
    }

private:
    template <class F>
    void set(F change) {
        std::lock_guard lock(mutex_);
        change();
        changed_.notify_all();
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = true;
    bool failing_ = false;
    int attempts_ = 0;
    std::vector<Head> heads_;
};

class DisplaySchedulerTest : public ::testing::Test {
protected:
    std::shared_ptr<DisplayScheduler> make(double maxFPS = 60, double keepAlive = 0.25,
                                           PixelOrder order = PixelOrder::bgr565) {
        return DisplayScheduler::create(order, maxFPS, keepAlive, [this](Canvas& canvas) {
            drawTimes.push_back(Clock::now());
            canvas.clear(color);
        });
    }

    bool pumpUntilDrawn(std::size_t count) {
        return MainQueue::pumpUntil([&] { return drawTimes.size() >= count; }, 2s);
    }

    void TearDown() override {
        scheduler.reset();
        MainQueue::pumpFor(5ms);  // renders still scheduled run and let go of their scheduler
    }

    DisplayColor color{255, 0, 0};
    std::vector<Clock::time_point> drawTimes;
    std::shared_ptr<RecordingSink> sink = std::make_shared<RecordingSink>();
    std::shared_ptr<DisplayScheduler> scheduler;
};

TEST_F(DisplaySchedulerTest, StartsIdleAndFoldsChangesIntoOneRender) {
    scheduler = make();
    MainQueue::pumpFor(30ms);
    EXPECT_TRUE(drawTimes.empty());
    EXPECT_EQ(scheduler->stats(), DisplayStats{});

    for (int i = 0; i < 10; ++i) scheduler->invalidate();
    MainQueue::pumpFor(100ms);
    EXPECT_EQ(drawTimes.size(), 1u);
    const DisplayStats stats = scheduler->stats();
    EXPECT_EQ(stats.framesRendered, 1);
    EXPECT_EQ(stats.framesSent, 0);
    EXPECT_GE(stats.lastRenderMs, 0);
    EXPECT_GT(stats.lastEncodeMs, 0);
    EXPECT_EQ(stats.renderFPS, 0);
}

TEST_F(DisplaySchedulerTest, PacesRendersAtTheFrameRateCap) {
    scheduler = make(30);
    scheduler->invalidate();
    ASSERT_TRUE(pumpUntilDrawn(1));
    MainQueue::pumpFor(10ms);
    scheduler->invalidate();
    ASSERT_TRUE(pumpUntilDrawn(2));
    // One interval after the previous render at the soonest, so not at once.
    const auto gap = drawTimes[1] - drawTimes[0];
    EXPECT_GE(gap, std::chrono::nanoseconds(1'000'000'000 / 30));
}

TEST_F(DisplaySchedulerTest, RendersWithoutSinkAndALateSinkGetsTheLastFrameAtOnce) {
    scheduler = make(60, 10);
    scheduler->invalidate();
    ASSERT_TRUE(pumpUntilDrawn(1));
    MainQueue::pumpFor(20ms);
    EXPECT_EQ(scheduler->stats().framesSent, 0);

    color = {0, 0, 255};
    scheduler->setSink(sink);
    ASSERT_TRUE(sink->waitForSent(1));
    EXPECT_EQ(sink->heads()[0], redBGR);  // the last picture, before anything is drawn anew
    ASSERT_TRUE(pumpUntilDrawn(2));
    ASSERT_TRUE(sink->waitForSent(2));
    EXPECT_EQ(sink->heads()[1], headOf(color, PixelOrder::bgr565));
    ASSERT_TRUE(MainQueue::pumpUntil([&] { return scheduler->stats().framesSent == 2; }, 2s));
    EXPECT_DOUBLE_EQ(scheduler->stats().lastTransferMs, 4.0);
}

TEST_F(DisplaySchedulerTest, AFailedTransferDropsTheSinkAndIsReportedOnceOnTheMainQueue) {
    scheduler = make(60, 0.05);
    std::vector<std::string> errors;
    bool reportedOnMain = true;
    std::shared_ptr<FrameSink> failedSink;
    scheduler->setOnTransferError([&](std::exception_ptr error, const std::shared_ptr<FrameSink>& failed) {
        reportedOnMain = reportedOnMain && MainQueue::isCurrent();
        failedSink = failed;
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            errors.push_back(e.what());
        }
    });
    sink->fail();
    scheduler->setSink(sink);
    ASSERT_TRUE(MainQueue::pumpUntil([&] { return !errors.empty(); }, 2s));
    EXPECT_TRUE(reportedOnMain);
    EXPECT_EQ(errors, std::vector<std::string>{"Display transfer failed: unplugged"});
    EXPECT_EQ(failedSink, sink) << "the error names the sink it came from";

    // No more sending, no keep-alives, until a new sink is set.
    scheduler->invalidate();
    MainQueue::pumpFor(200ms);
    EXPECT_EQ(drawTimes.size(), 2u);
    EXPECT_EQ(sink->attempts(), 1);
    EXPECT_EQ(errors.size(), 1u);
    DisplayStats stats = scheduler->stats();
    EXPECT_EQ(stats.transferErrors, 1);
    EXPECT_EQ(stats.framesSent, 0);

    auto next = std::make_shared<RecordingSink>();
    scheduler->setSink(next);
    ASSERT_TRUE(next->waitForSent(1));
    EXPECT_EQ(next->heads()[0], redBGR);
}

TEST_F(DisplaySchedulerTest, KeepAlivesResendTheLastFrameWhileNothingChanges) {
    scheduler = make(60, 0.05);
    scheduler->setSink(sink);
    ASSERT_TRUE(pumpUntilDrawn(1));
    ASSERT_TRUE(sink->waitForSent(1));
    MainQueue::pumpFor(530ms);
    DisplayStats stats = scheduler->stats();
    EXPECT_GE(stats.keepAlivesSent, 4);
    EXPECT_LE(stats.keepAlivesSent, 11);
    EXPECT_EQ(stats.framesSent, stats.keepAlivesSent + 1);
    EXPECT_EQ(stats.framesRendered, 1);
    for (const Head& head : sink->heads()) EXPECT_EQ(head, redBGR);

    // No sink, no keep-alive; a sink again, keep-alives again.
    scheduler->setSink(nullptr);
    // A keep-alive already under way when the sink was dropped may still land; wait until the
    // count stays put, however slowly a loaded machine runs the transfer queue.
    std::size_t before = sink->sent();
    for (const auto deadline = Clock::now() + 2s; Clock::now() < deadline; before = sink->sent()) {
        MainQueue::pumpFor(100ms);
        if (sink->sent() == before) break;
    }
    MainQueue::pumpFor(200ms);
    EXPECT_EQ(sink->sent(), before);
    scheduler->setSink(sink);
    MainQueue::pumpFor(300ms);
    EXPECT_GE(scheduler->stats().keepAlivesSent, stats.keepAlivesSent + 2);
}

TEST_F(DisplaySchedulerTest, TheNewestFrameWinsBehindASlowTransfer) {
    scheduler = make(1000, 10);
    scheduler->setSink(sink);
    sink->hold();
    scheduler->invalidate();
    ASSERT_TRUE(pumpUntilDrawn(1));
    ASSERT_TRUE(sink->waitForAttempts(1));
    const std::vector<DisplayColor> colors{{0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    for (std::size_t i = 0; i < colors.size(); ++i) {
        color = colors[i];
        scheduler->invalidate();
        ASSERT_TRUE(pumpUntilDrawn(i + 2));
    }
    sink->release();
    ASSERT_TRUE(sink->waitForSent(2));
    MainQueue::pumpFor(50ms);
    EXPECT_EQ(sink->heads(), (std::vector<Head>{redBGR, headOf(colors.back(), PixelOrder::bgr565)}));
    EXPECT_EQ(scheduler->stats().framesRendered, 4);
    EXPECT_EQ(scheduler->stats().framesSent, 2);
}

TEST_F(DisplaySchedulerTest, ANewPixelOrderRendersANewFrame) {
    scheduler = make();
    scheduler->setSink(sink);
    ASSERT_TRUE(pumpUntilDrawn(1));
    ASSERT_TRUE(sink->waitForSent(1));
    scheduler->setPixelOrder(PixelOrder::rgb565);
    EXPECT_EQ(scheduler->pixelOrder(), PixelOrder::rgb565);
    ASSERT_TRUE(pumpUntilDrawn(2));
    ASSERT_TRUE(sink->waitForSent(2));
    EXPECT_EQ(sink->heads(), (std::vector<Head>{redBGR, redRGB}));
}

TEST_F(DisplaySchedulerTest, RenderRateIsMeasuredOverWindowsOfMoreThanTwoSeconds) {
    const auto created = Clock::now();
    scheduler = make();
    scheduler->invalidate();
    ASSERT_TRUE(pumpUntilDrawn(1));
    EXPECT_EQ(scheduler->stats().renderFPS, 0);
    std::this_thread::sleep_until(created + 2050ms);
    scheduler->invalidate();
    ASSERT_TRUE(pumpUntilDrawn(2));
    const double seconds = std::chrono::duration<double>(drawTimes[1] - created).count();
    EXPECT_NEAR(scheduler->stats().renderFPS, 2 / seconds, 0.05);
}

TEST_F(DisplaySchedulerTest, AScheduledRenderKeepsTheSchedulerAndTheKeepAliveDoesNot) {
    scheduler = make(60, 0.03);
    scheduler->setSink(sink);
    std::weak_ptr<DisplayScheduler> weak = scheduler;
    scheduler.reset();
    EXPECT_FALSE(weak.expired());
    ASSERT_TRUE(pumpUntilDrawn(1));
    EXPECT_TRUE(MainQueue::pumpUntil([&] { return weak.expired(); }, 2s));
    const std::size_t sent = sink->sent();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(sink->sent(), sent);
}

TEST_F(DisplaySchedulerTest, ItsLastOwnerMayLetGoOnTheTransferQueue) {
    scheduler = make(60, 0.02);
    scheduler->setSink(sink);
    sink->hold();
    ASSERT_TRUE(pumpUntilDrawn(1));
    ASSERT_TRUE(sink->waitForAttempts(1));
    // Only the transfer in progress holds the scheduler now; it goes away on that queue's own
    // thread when the transfer ends, which must not wait for itself.
    std::weak_ptr<DisplayScheduler> weak = scheduler;
    scheduler.reset();
    sink->release();
    const auto deadline = Clock::now() + 2s;
    while (!weak.expired() && Clock::now() < deadline) std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(sink->sent(), 1u);
}

TEST(DisplaySchedulerDeathTest, MisuseStopsTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(DisplayScheduler::create(PixelOrder::bgr565, 0, 0.25, [](Canvas&) {}), "frame-rate cap");
    EXPECT_DEATH(
        {
            auto scheduler = DisplayScheduler::create(PixelOrder::bgr565, 60, 0.25, [](Canvas&) {});
            std::thread([&] { scheduler->invalidate(); }).join();
        },
        "off the main queue");
}

}  // namespace
}  // namespace corvane
