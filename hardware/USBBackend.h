#pragma once
// The seam between the display code and the machine's USB: libusb in the program, a simulated
// display in tests. Everything here concerns the Push display interface: vendor 0x2982, the given
// product, interface 0 in configuration 1, bulk OUT endpoint 0x01.

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace corvane {

// One plugged-in device. The same device keeps its ID while it stays plugged in; a device that is
// plugged in again gets a new one.
struct USBDeviceID {
    std::uint64_t value = 0;
    auto operator<=>(const USBDeviceID&) const = default;
};

// The claimed display interface of one device. Destroying it releases the interface and closes
// the device; it must not be destroyed while a transfer on it is running.
class USBInterfaceHandle {
public:
    virtual ~USBInterfaceHandle() = default;
    USBInterfaceHandle() = default;
    USBInterfaceHandle(const USBInterfaceHandle&) = delete;
    USBInterfaceHandle& operator=(const USBInterfaceHandle&) = delete;

    virtual USBDeviceID device() const = 0;

    // One synchronous bulk OUT transfer on the display endpoint, waiting at most `timeout`
    // seconds. Returns the bytes moved; a failed transfer throws USBDisplayError::transferFailed.
    virtual std::size_t bulkOut(std::span<const std::uint8_t> bytes, double timeout) = 0;
};

// Hotplug notifications last as long as this object; destroy it on the main queue.
class USBWatch {
public:
    virtual ~USBWatch() = default;
    USBWatch() = default;
    USBWatch(const USBWatch&) = delete;
    USBWatch& operator=(const USBWatch&) = delete;
};

class USBBackend {
public:
    // Both run on the main queue, in the order the devices came and went.
    struct Events {
        std::function<void(USBDeviceID)> arrived;
        std::function<void(USBDeviceID)> left;
    };

    virtual ~USBBackend() = default;
    USBBackend() = default;
    USBBackend(const USBBackend&) = delete;
    USBBackend& operator=(const USBBackend&) = delete;

    // The devices of vendor 0x2982 and this product that are plugged in now, in the system's order.
    virtual std::vector<USBDeviceID> devices(int productID) = 0;

    // Finds the device's display interface, opens the device and claims the interface.
    // Throws USBDisplayError: notFound when the device is gone or has no such interface,
    // openFailed when the system refuses.
    virtual std::unique_ptr<USBInterfaceHandle> open(USBDeviceID device, int productID) = 0;

    // Reports devices of this product arriving and leaving from now on (devices already present
    // are not reported: ask `devices` after watching). Throws USBDisplayError::unavailable when
    // the machine cannot report them.
    virtual std::unique_ptr<USBWatch> watch(int productID, Events events) = 0;
};

}  // namespace corvane
