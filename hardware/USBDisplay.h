#pragma once
// The open display interface of a Push: the sink that puts finished frames on the wire.

#include <memory>
#include <mutex>
#include <span>

#include "PushDisplay/DisplayFormat.h"
#include "PushDisplay/FrameSink.h"
#include "hardware/USBBackend.h"

namespace corvane {

class USBDisplay final : public FrameSink {
public:
    // Per transfer, when sending as the scheduler's sink.
    static constexpr double frameTimeout = 1.0;

    // Opens and claims the display interface of one device. Throws USBDisplayError.
    USBDisplay(USBBackend& backend, USBDeviceID device, int productID);
    // The first display of the product that is plugged in; notFound when there is none.
    static std::shared_ptr<USBDisplay> openFirst(USBBackend& backend,
                                                 int productID = DisplayFormat::push3ProductID);
    ~USBDisplay() override;

    int productID() const { return productID_; }
    USBDeviceID device() const { return device_; }

    // The header, then the pixel block, each a synchronous transfer waiting at most `timeout`
    // seconds. Returns the seconds both took. Throws USBDisplayError, or FrameLengthError for a
    // block of the wrong length (nothing is sent then).
    double send(const PushFrame& frame, double timeout);
    double send(const PushFrame& frame) override { return send(frame, frameTimeout); }

    // Releases the interface; waits for a transfer in progress, which would otherwise run on a
    // closed handle. Idempotent.
    void close();
    bool isClosed() const;

private:
    void transfer(std::span<const std::uint8_t> bytes, double timeout);

    const int productID_;
    const USBDeviceID device_;
    mutable std::mutex lock_;                        // held for the whole of a send
    std::unique_ptr<USBInterfaceHandle> interface_;  // absent once closed
};

}  // namespace corvane
