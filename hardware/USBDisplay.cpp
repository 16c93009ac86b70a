#include "hardware/USBDisplay.h"

#include "hardware/USBDisplayError.h"
#include "platform/Clock.h"

namespace corvane {

USBDisplay::USBDisplay(USBBackend& backend, USBDeviceID device, int productID)
    : productID_(productID), device_(device), interface_(backend.open(device, productID)) {}

std::shared_ptr<USBDisplay> USBDisplay::openFirst(USBBackend& backend, int productID) {
    auto devices = backend.devices(productID);
    if (devices.empty()) throw USBDisplayError::notFound();
    return std::make_shared<USBDisplay>(backend, devices.front(), productID);
}

USBDisplay::~USBDisplay() { close(); }

double USBDisplay::send(const PushFrame& frame, double timeout) {
    std::lock_guard guard(lock_);
    if (!interface_) throw USBDisplayError::notOpen();
    checkFrameLength(frame);
    std::uint64_t start = MonotonicClock::nanoseconds();
    transfer(DisplayFormat::header, timeout);
    transfer(frame.bytes, timeout);
    return static_cast<double>(MonotonicClock::nanoseconds() - start) / 1e9;
}

void USBDisplay::transfer(std::span<const std::uint8_t> bytes, double timeout) {
    std::size_t moved = interface_->bulkOut(bytes, timeout);
    if (moved != bytes.size()) {
        throw USBDisplayError::shortTransfer(static_cast<int>(bytes.size()), static_cast<int>(moved));
    }
}

void USBDisplay::close() {
    std::lock_guard guard(lock_);
    interface_.reset();
}

bool USBDisplay::isClosed() const {
    std::lock_guard guard(lock_);
    return !interface_;
}

}  // namespace corvane
