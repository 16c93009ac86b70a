#pragma once
// The one path from "the picture changed" to a frame at the display: renders on the main queue
// at most maxFPS times a second, folding any number of changes into one render; encodes the
// canvas; hands the frame to the transfer queue "push.display.usb", where the sink sends it,
// the newest frame winning over any that waits; and resends the last frame as a keep-alive when
// nothing was sent for a while.
//
// Shared-owned: create() gives the only constructor. Scheduled renders hold the scheduler
// strongly, everything on the transfer queue (the keep-alive timer included) weakly. Its
// destruction never joins the thread it runs on.

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

#include "PushDisplay/Canvas.h"
#include "PushDisplay/DisplayStats.h"
#include "PushDisplay/FrameEncoder.h"
#include "PushDisplay/FrameSink.h"
#include "PushDisplay/PixelOrder.h"
#include "PushDisplay/PushFrame.h"
#include "platform/RepeatingTimer.h"
#include "platform/SerialQueue.h"

namespace corvane {

class DisplayScheduler : public std::enable_shared_from_this<DisplayScheduler> {
public:
    using Draw = std::function<void(Canvas&)>;
    // The error of a failed transfer and the sink it failed on. By the time it reaches the main
    // queue that sink may have been replaced; only the owner can tell whether it still counts.
    using TransferErrorHandler =
        std::function<void(std::exception_ptr error, const std::shared_ptr<FrameSink>& sink)>;

    // maxFPS and keepAliveInterval (seconds) must be positive and finite. Renders nothing and
    // starts no timer.
    static std::shared_ptr<DisplayScheduler> create(PixelOrder pixelOrder, double maxFPS,
                                                    double keepAliveInterval, Draw draw);
    ~DisplayScheduler();
    DisplayScheduler(const DisplayScheduler&) = delete;
    DisplayScheduler& operator=(const DisplayScheduler&) = delete;

    // Main queue only. Marks the picture dirty and makes sure a render is scheduled.
    void invalidate();

    // Main queue only. Replaces the sink on the transfer queue (nullptr drops it), starts or
    // stops the keep-alive, resends the last frame to a new sink, then invalidates.
    void setSink(std::shared_ptr<FrameSink> sink);

    // From any thread.
    DisplayStats stats() const;

    // Main queue only. Setting it invalidates, so the next frame uses the new order.
    PixelOrder pixelOrder() const { return pixelOrder_; }
    void setPixelOrder(PixelOrder order);

    // Main queue only. Called on the main queue with the sink's error of each failed transfer
    // and that sink.
    void setOnTransferError(TransferErrorHandler handler) { onTransferError_ = std::move(handler); }

    double maxFPS() const { return maxFPS_; }
    double keepAliveInterval() const { return keepAliveInterval_; }

private:
    using Frame = std::shared_ptr<const PushFrame>;

    DisplayScheduler(PixelOrder pixelOrder, double maxFPS, double keepAliveInterval, Draw draw);

    // Main queue.
    void renderIfDirty();
    void handOver(Frame frame);

    // Transfer queue.
    void takeHandedOver();
    void enqueue(Frame frame);
    void transfer(Frame frame, bool keepAlive);
    void startKeepAlive();
    void keepAliveFired();
    void dropKeepAlive();

    const double maxFPS_;
    const double keepAliveInterval_;

    // Main queue.
    PixelOrder pixelOrder_;
    TransferErrorHandler onTransferError_;
    Canvas canvas_;
    FrameEncoder encoder_;
    Draw draw_;
    bool dirty_ = true;
    bool renderScheduled_ = false;
    std::uint64_t lastRenderTime_ = 0;
    std::uint64_t windowStart_;
    int windowFrames_ = 0;

    // Transfer queue.
    std::shared_ptr<FrameSink> sink_;
    Frame lastFrame_;
    Frame pendingFrame_;
    bool transferInFlight_ = false;
    std::uint64_t lastSendTime_ = 0;
    RepeatingTimer keepAliveTimer_;

    // The newest rendered frame on its way to the transfer queue: one slot, so frames never
    // pile up behind a slow transfer. Never held together with statsLock_.
    std::mutex handOverLock_;
    Frame handedOver_;
    bool handOverPosted_ = false;

    mutable std::mutex statsLock_;
    DisplayStats stats_;

    // Last, so it goes first: work still queued finds the scheduler gone and does nothing.
    std::unique_ptr<SerialQueue> usbQueue_;
};

}  // namespace corvane
