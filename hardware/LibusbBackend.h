#pragma once
// The USB backend of the program: libusb-1.0.

#include <memory>
#include <string>

#include "hardware/USBBackend.h"

namespace corvane {

namespace libusb {
class Context;
}

class LibusbBackend final : public USBBackend {
public:
    // Never throws. When libusb cannot start, the backend finds no devices and `watch` says why.
    LibusbBackend();
    ~LibusbBackend() override;

    // Empty when libusb started.
    const std::string& startError() const { return startError_; }

    std::vector<USBDeviceID> devices(int productID) override;
    std::unique_ptr<USBInterfaceHandle> open(USBDeviceID device, int productID) override;
    std::unique_ptr<USBWatch> watch(int productID, Events events) override;

private:
    std::shared_ptr<libusb::Context> context_;
    std::string startError_;
};

}  // namespace corvane
