#include "corvane_diag/USBListing.h"

#include <libusb.h>

#include <charconv>
#include <filesystem>
#include <fstream>
#include <memory>

#include "PushDisplay/DisplayFormat.h"

namespace corvane {

namespace {

namespace fs = std::filesystem;

const fs::path sysfsDevices = "/sys/bus/usb/devices";

// One sysfs attribute without its line end; absent when the file is missing or empty.
std::optional<std::string> attribute(const fs::path& path) {
    std::ifstream file(path);
    if (!file) return std::nullopt;
    std::string text;
    std::getline(file, text);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    if (text.empty()) return std::nullopt;
    return text;
}

std::optional<std::int64_t> integerAttribute(const fs::path& path) {
    auto text = attribute(path);
    if (!text) return std::nullopt;
    std::string_view digits = *text;
    while (!digits.empty() && digits.front() == ' ') digits.remove_prefix(1);
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

std::optional<std::string> boundDriver(const fs::path& interfaceDirectory) {
    std::error_code error;
    fs::path target = fs::read_symlink(interfaceDirectory / "driver", error);
    if (error) return std::nullopt;
    return target.filename().string();
}

std::int64_t linkSpeed(int speed) {
    switch (speed) {
        case LIBUSB_SPEED_LOW:
            return 1'500'000;
        case LIBUSB_SPEED_FULL:
            return 12'000'000;
        case LIBUSB_SPEED_HIGH:
            return 480'000'000;
        case LIBUSB_SPEED_SUPER:
            return 5'000'000'000;
        case LIBUSB_SPEED_SUPER_PLUS:
            return 10'000'000'000;
        default:
            return 0;
    }
}

struct ContextCloser {
    void operator()(libusb_context* context) const { libusb_exit(context); }
};
struct ConfigCloser {
    void operator()(libusb_config_descriptor* config) const { libusb_free_config_descriptor(config); }
};

class DeviceList {
public:
    explicit DeviceList(libusb_context* context) : count_(libusb_get_device_list(context, &list_)) {}
    ~DeviceList() {
        if (count_ >= 0) libusb_free_device_list(list_, 1);
    }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    bool ok() const { return count_ >= 0; }
    int error() const { return static_cast<int>(count_); }
    std::size_t size() const { return count_ > 0 ? static_cast<std::size_t>(count_) : 0; }
    libusb_device* operator[](std::size_t i) const { return list_[i]; }

private:
    libusb_device** list_ = nullptr;
    ssize_t count_;
};

USBInterfaceRecord interfaceRecord(const libusb_interface& interface, const libusb_config_descriptor& config,
                                   const std::string& deviceName, std::int64_t speed) {
    const libusb_interface_descriptor& first = interface.altsetting[0];
    USBInterfaceRecord record;
    record.number = first.bInterfaceNumber;
    const fs::path directory = sysfsDevices / (deviceName + ":" + std::to_string(config.bConfigurationValue) +
                                               "." + std::to_string(first.bInterfaceNumber));
    record.alternateSetting = integerAttribute(directory / "bAlternateSetting").value_or(0);
    const libusb_interface_descriptor* current = &first;
    for (int i = 0; i < interface.num_altsetting; ++i) {
        if (interface.altsetting[i].bAlternateSetting == record.alternateSetting)
            current = &interface.altsetting[i];
    }
    record.interfaceClass = current->bInterfaceClass;
    record.subclass = current->bInterfaceSubClass;
    record.protocol = current->bInterfaceProtocol;
    record.alternateSettingCount = interface.num_altsetting;
    record.endpointCount = current->bNumEndpoints;
    record.linkSpeed = speed;
    record.name = attribute(directory / "interface").value_or("?");
    record.stringIndex = current->iInterface;
    record.configurationValue = config.bConfigurationValue;
    record.driver = boundDriver(directory);
    for (int i = 0; i < current->bNumEndpoints; ++i) {
        const libusb_endpoint_descriptor& endpoint = current->endpoint[i];
        record.endpoints.push_back(
            {endpoint.bEndpointAddress, endpoint.bmAttributes, endpoint.wMaxPacketSize, endpoint.bInterval});
    }
    return record;
}

USBDeviceRecord deviceRecord(libusb_device* device, const libusb_device_descriptor& descriptor) {
    USBDeviceRecord record;
    record.vendorID = descriptor.idVendor;
    record.productID = descriptor.idProduct;
    record.deviceRelease = descriptor.bcdDevice;
    record.usbRelease = descriptor.bcdUSB;
    record.deviceClass = descriptor.bDeviceClass;
    record.deviceSubclass = descriptor.bDeviceSubClass;
    record.configurationCount = descriptor.bNumConfigurations;
    record.linkSpeed = linkSpeed(libusb_get_device_speed(device));

    const int bus = libusb_get_bus_number(device);
    std::uint8_t ports[8];
    const int depth = libusb_get_port_numbers(device, ports, sizeof ports);
    std::string name = std::to_string(bus) + "-";
    record.location = std::int64_t{bus} << 24;
    for (int i = 0; i < depth; ++i) {
        name += (i > 0 ? "." : "") + std::to_string(ports[i]);
        if (i < 6) record.location |= std::int64_t{ports[i] & 0x0F} << (20 - 4 * i);
    }
    const fs::path directory = sysfsDevices / name;
    record.productName = attribute(directory / "product").value_or("?");
    record.serialNumber = attribute(directory / "serial").value_or("?");
    record.vendorName = attribute(directory / "manufacturer").value_or("?");
    record.currentConfiguration = integerAttribute(directory / "bConfigurationValue").value_or(0);

    libusb_config_descriptor* raw = nullptr;
    if (libusb_get_active_config_descriptor(device, &raw) == 0 && raw != nullptr) {
        std::unique_ptr<libusb_config_descriptor, ConfigCloser> config(raw);
        for (int i = 0; i < config->bNumInterfaces; ++i) {
            const libusb_interface& interface = config->interface[i];
            if (interface.num_altsetting < 1) continue;
            record.interfaces.push_back(interfaceRecord(interface, *config, name, record.linkSpeed));
        }
    }
    return record;
}

}  // namespace

std::vector<USBDeviceRecord> listAbletonUSBDevices() {
    libusb_context* raw = nullptr;
    if (int rc = libusb_init(&raw); rc != LIBUSB_SUCCESS)
        throw USBListingError(std::string("libusb could not start (") + libusb_strerror(rc) + ")");
    std::unique_ptr<libusb_context, ContextCloser> context(raw);
    DeviceList list(context.get());
    if (!list.ok()) {
        throw USBListingError(std::string("the USB device list could not be read (") +
                              libusb_strerror(list.error()) + ")");
    }
    std::vector<USBDeviceRecord> records;
    for (std::size_t i = 0; i < list.size(); ++i) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(list[i], &descriptor) != 0) continue;
        if (descriptor.idVendor != DisplayFormat::usbVendorID) continue;
        records.push_back(deviceRecord(list[i], descriptor));
    }
    return records;
}

}  // namespace corvane
