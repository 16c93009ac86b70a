#pragma once
// What the machine knows of the Ableton USB devices plugged in, read without opening them: the
// device list and cached descriptors from libusb, and the strings, current settings and bound
// drivers from sysfs. Each field holds its fallback when the system has no value for it.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvane {

struct USBEndpointRecord {
    std::int64_t address = 0;
    std::int64_t attributes = -1;
    std::int64_t maxPacketSize = 0;
    std::int64_t interval = 0;
};

struct USBInterfaceRecord {
    std::int64_t number = 0;
    std::int64_t interfaceClass = 0;
    std::int64_t subclass = 0;
    std::int64_t protocol = 0;
    std::int64_t alternateSetting = 0;
    std::int64_t alternateSettingCount = 0;
    std::int64_t endpointCount = 0;
    std::int64_t linkSpeed = 0;  // bits per second
    std::string name = "?";
    std::int64_t stringIndex = 0;
    std::int64_t configurationValue = 0;
    std::string exclusiveOwner = "none";
    std::optional<std::string> driver;  // the driver bound to the interface
    std::vector<USBEndpointRecord> endpoints;
};

struct USBDeviceRecord {
    std::string productName = "?";
    std::int64_t vendorID = 0;
    std::int64_t productID = 0;
    std::string serialNumber = "?";
    std::int64_t deviceRelease = 0;
    std::int64_t usbRelease = 0;
    std::int64_t linkSpeed = 0;  // bits per second
    std::int64_t speedCode = 0;  // none on Linux
    std::int64_t deviceClass = 0;
    std::int64_t deviceSubclass = 0;
    std::int64_t currentConfiguration = 0;
    std::int64_t configurationCount = 0;
    std::int64_t location = 0;  // bus in the top byte, then one nibble per port
    std::optional<std::int64_t> powerState;
    std::string vendorName = "?";
    std::vector<USBInterfaceRecord> interfaces;
};

// The USB system could not be asked: libusb did not start, or the device list could not be read.
class USBListingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Every device of vendor 0x2982, in the system's order; fails with USBListingError.
std::vector<USBDeviceRecord> listAbletonUSBDevices();

}  // namespace corvane
