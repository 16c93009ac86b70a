#include "PushDisplay/DisplayScheduler.h"

#include <chrono>
#include <cmath>
#include <utility>

#include "platform/Precondition.h"
#include "platform/Clock.h"
#include "platform/MainQueue.h"

namespace corvane {

namespace {

constexpr std::uint64_t nanosecondsPerSecond = 1'000'000'000;
constexpr std::uint64_t nanosecondsPerMillisecond = 1'000'000;
constexpr std::uint64_t windowLength = 2 * nanosecondsPerSecond;
constexpr auto keepAliveLeeway = std::chrono::milliseconds(20);

std::uint64_t now() { return MonotonicClock::nanoseconds(); }

double milliseconds(std::uint64_t nanoseconds) { return static_cast<double>(nanoseconds) / 1e6; }

}  // namespace

std::shared_ptr<DisplayScheduler> DisplayScheduler::create(PixelOrder pixelOrder, double maxFPS,
                                                           double keepAliveInterval, Draw draw) {
    return std::shared_ptr<DisplayScheduler>(
        new DisplayScheduler(pixelOrder, maxFPS, keepAliveInterval, std::move(draw)));
}

DisplayScheduler::DisplayScheduler(PixelOrder pixelOrder, double maxFPS, double keepAliveInterval, Draw draw)
    : maxFPS_(maxFPS),
      keepAliveInterval_(keepAliveInterval),
      pixelOrder_(pixelOrder),
      encoder_(pixelOrder),
      draw_(std::move(draw)),
      windowStart_(now()),
      usbQueue_(std::make_unique<SerialQueue>("push.display.usb")) {
    precondition(maxFPS > 0 && std::isfinite(maxFPS), "display frame-rate cap must be positive");
    precondition(keepAliveInterval > 0 && std::isfinite(keepAliveInterval),
                 "display keep-alive interval must be positive");
}

DisplayScheduler::~DisplayScheduler() = default;

void DisplayScheduler::invalidate() {
    precondition(MainQueue::isCurrent(), "DisplayScheduler::invalidate() called off the main queue");
    dirty_ = true;
    if (renderScheduled_) return;  // that render will pick this change up
    renderScheduled_ = true;
    const auto interval = static_cast<std::uint64_t>(1e9 / maxFPS_);
    const std::uint64_t earliest = lastRenderTime_ + interval;
    const std::uint64_t current = now();
    auto render = [self = shared_from_this()] {
        self->renderScheduled_ = false;
        self->renderIfDirty();
    };
    if (earliest <= current) {
        MainQueue::async(std::move(render));
        return;
    }
    // Whole milliseconds, rounded up: a render may come late, never early.
    const std::uint64_t delay =
        (earliest - current + nanosecondsPerMillisecond - 1) / nanosecondsPerMillisecond;
    MainQueue::asyncAfter(std::chrono::milliseconds(delay), std::move(render));
}

void DisplayScheduler::setSink(std::shared_ptr<FrameSink> sink) {
    precondition(MainQueue::isCurrent(), "DisplayScheduler::setSink() called off the main queue");
    usbQueue_->async([weak = weak_from_this(), sink = std::move(sink)]() mutable {
        auto self = weak.lock();
        if (!self) return;
        self->sink_ = std::move(sink);
        self->lastSendTime_ = 0;
        if (!self->sink_) {
            self->dropKeepAlive();
            return;
        }
        self->startKeepAlive();
        if (self->lastFrame_) self->enqueue(self->lastFrame_);
    });
    invalidate();
}

DisplayStats DisplayScheduler::stats() const {
    std::lock_guard lock(statsLock_);
    return stats_;
}

void DisplayScheduler::setPixelOrder(PixelOrder order) {
    pixelOrder_ = order;
    encoder_.pixelOrder = order;
    invalidate();
}

void DisplayScheduler::renderIfDirty() {
    if (!dirty_) return;
    dirty_ = false;
    const std::uint64_t t0 = now();
    draw_(canvas_);
    const std::uint64_t t1 = now();
    auto frame = std::make_shared<PushFrame>();
    canvas_.withPixels([&](std::span<const std::uint8_t> pixels, std::size_t bytesPerRow) {
        encoder_.encode(pixels, bytesPerRow, *frame);
    });
    const std::uint64_t t2 = now();
    lastRenderTime_ = t2;
    {
        std::lock_guard lock(statsLock_);
        stats_.framesRendered += 1;
        stats_.lastRenderMs = milliseconds(t1 - t0);
        stats_.lastEncodeMs = milliseconds(t2 - t1);
    }
    windowFrames_ += 1;
    if (t2 - windowStart_ > windowLength) {
        const double seconds = static_cast<double>(t2 - windowStart_) / nanosecondsPerSecond;
        {
            std::lock_guard lock(statsLock_);
            stats_.renderFPS = windowFrames_ / seconds;
        }
        windowStart_ = t2;
        windowFrames_ = 0;
    }
    handOver(std::move(frame));
}

void DisplayScheduler::handOver(Frame frame) {
    bool post = false;
    {
        std::lock_guard lock(handOverLock_);
        handedOver_ = std::move(frame);
        post = !std::exchange(handOverPosted_, true);
    }
    if (!post) return;  // the transfer queue has yet to take the frame before this one
    usbQueue_->async([weak = weak_from_this()] {
        if (auto self = weak.lock()) self->takeHandedOver();
    });
}

void DisplayScheduler::takeHandedOver() {
    Frame frame;
    {
        std::lock_guard lock(handOverLock_);
        frame = std::move(handedOver_);
        handedOver_.reset();
        handOverPosted_ = false;
    }
    if (!frame) return;
    lastFrame_ = frame;
    enqueue(std::move(frame));
}

void DisplayScheduler::enqueue(Frame frame) {
    precondition(usbQueue_->isCurrent(), "DisplayScheduler enqueued a frame off the transfer queue");
    if (!sink_) return;  // it stays as the last frame
    if (transferInFlight_) {
        pendingFrame_ = std::move(frame);  // the newest frame wins
        return;
    }
    transfer(std::move(frame), false);
}

void DisplayScheduler::transfer(Frame frame, bool keepAlive) {
    while (frame && sink_) {
        transferInFlight_ = true;
        double seconds = 0;
        try {
            seconds = sink_->send(*frame);
        } catch (...) {
            const std::exception_ptr error = std::current_exception();
            {
                std::lock_guard lock(statsLock_);
                stats_.transferErrors += 1;
            }
            // Sink changes run on this queue too, so the sink that failed is still the one in
            // place: dropping it never drops a newer one.
            std::shared_ptr<FrameSink> failed = std::exchange(sink_, nullptr);
            dropKeepAlive();
            pendingFrame_.reset();
            transferInFlight_ = false;
            // The last frame stays, so the next sink gets the picture at once.
            MainQueue::async([weak = weak_from_this(), error, failed = std::move(failed)] {
                auto self = weak.lock();
                if (self && self->onTransferError_) self->onTransferError_(error, failed);
            });
            return;
        }
        lastSendTime_ = now();
        {
            std::lock_guard lock(statsLock_);
            stats_.framesSent += 1;
            if (keepAlive) stats_.keepAlivesSent += 1;
            stats_.lastTransferMs = seconds * 1000;
        }
        transferInFlight_ = false;
        frame = std::exchange(pendingFrame_, nullptr);
        keepAlive = false;
    }
}

void DisplayScheduler::startKeepAlive() {
    const auto interval = std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::duration<double>(keepAliveInterval_));
    keepAliveTimer_ = usbQueue_->scheduleRepeating(interval, keepAliveLeeway, [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->keepAliveFired();
    });
}

void DisplayScheduler::keepAliveFired() {
    if (!lastFrame_ || transferInFlight_) return;
    // A frame sent within 0.9 of the interval makes this firing's keep-alive unnecessary.
    const double idle = static_cast<double>(now() - lastSendTime_) / nanosecondsPerSecond;
    if (idle >= 0.9 * keepAliveInterval_) transfer(lastFrame_, true);
}

void DisplayScheduler::dropKeepAlive() {
    keepAliveTimer_.cancel();
    keepAliveTimer_ = RepeatingTimer();
}

}  // namespace corvane
