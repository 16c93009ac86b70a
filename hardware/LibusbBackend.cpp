#include "hardware/LibusbBackend.h"

#include <libusb.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <mutex>
#include <system_error>
#include <thread>

#include "PushDisplay/DisplayFormat.h"
#include "hardware/USBDisplayError.h"
#include "platform/MainQueue.h"

namespace corvane {
namespace libusb {

namespace {

constexpr int displayConfiguration = 1;
constexpr int displayInterface = DisplayFormat::displayInterfaceNumber;
constexpr unsigned char displayEndpoint = DisplayFormat::displayEndpoint;  // OUT: direction bit clear

std::string describe(int code) { return libusb_strerror(code); }

}  // namespace

// What a hotplug callback reads. libusb may still be running a callback on another thread when
// deregistering it returns, so these live as long as the session.
struct Registration {
    std::weak_ptr<const USBBackend::Events> events;
};

// One libusb session, shared by the backend and every interface it opened, so an open display
// may outlive the backend.
class Context {
public:
    explicit Context(libusb_context* context) : context_(context) {}
    ~Context() { libusb_exit(context_); }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    libusb_context* get() const { return context_; }

    Registration* keep(std::unique_ptr<Registration> registration) {
        std::lock_guard guard(lock_);
        registrations_.push_back(std::move(registration));
        return registrations_.back().get();
    }

private:
    libusb_context* context_;
    std::mutex lock_;
    std::vector<std::unique_ptr<Registration>> registrations_;
};

namespace {

class DeviceList {
public:
    explicit DeviceList(libusb_context* context) {
        ssize_t count = libusb_get_device_list(context, &list_);
        if (count < 0) {
            list_ = nullptr;
            count = 0;
        }
        count_ = static_cast<std::size_t>(count);
    }
    ~DeviceList() {
        if (list_ != nullptr) libusb_free_device_list(list_, 1);
    }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    std::span<libusb_device* const> devices() const { return {list_, count_}; }

private:
    libusb_device** list_ = nullptr;
    std::size_t count_ = 0;
};

// Bus and address: the kernel gives a device that is plugged in again a fresh address.
USBDeviceID idOf(libusb_device* device) {
    return USBDeviceID{(std::uint64_t{libusb_get_bus_number(device)} << 8) |
                       libusb_get_device_address(device)};
}

bool matches(libusb_device* device, int productID) {
    libusb_device_descriptor descriptor{};
    return libusb_get_device_descriptor(device, &descriptor) == LIBUSB_SUCCESS &&
           descriptor.idVendor == DisplayFormat::usbVendorID && descriptor.idProduct == productID;
}

// The display interface must be interface 0 of configuration 1 with bulk OUT endpoint 1.
void checkInterface(libusb_device* device) {
    libusb_config_descriptor* config = nullptr;
    int rc = libusb_get_active_config_descriptor(device, &config);
    if (rc == LIBUSB_ERROR_NOT_FOUND) throw USBDisplayError::notFound();  // not configured
    if (rc != LIBUSB_SUCCESS) throw USBDisplayError::openFailed(describe(rc));
    std::unique_ptr<libusb_config_descriptor, decltype(&libusb_free_config_descriptor)> owned(
        config, &libusb_free_config_descriptor);

    if (config->bConfigurationValue != displayConfiguration) throw USBDisplayError::notFound();
    const libusb_interface_descriptor* interface = nullptr;
    for (int i = 0; i < config->bNumInterfaces; ++i) {
        const libusb_interface& candidate = config->interface[i];
        if (candidate.num_altsetting > 0 && candidate.altsetting[0].bInterfaceNumber == displayInterface) {
            interface = &candidate.altsetting[0];
        }
    }
    if (interface == nullptr) throw USBDisplayError::notFound();
    for (int i = 0; i < interface->bNumEndpoints; ++i) {
        const libusb_endpoint_descriptor& endpoint = interface->endpoint[i];
        if (endpoint.bEndpointAddress == displayEndpoint &&
            (endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) == LIBUSB_TRANSFER_TYPE_BULK) {
            return;
        }
    }
    throw USBDisplayError::openFailed("no bulk OUT endpoint 0x01 on interface 0");
}

// libusb reads a time-out of 0 as "wait for ever"; our transfers always have a limit.
unsigned int timeoutMilliseconds(double seconds) {
    if (!(seconds > 0)) return 1;
    double milliseconds = std::ceil(seconds * 1000.0);
    if (milliseconds >= static_cast<double>(UINT_MAX)) return UINT_MAX;
    return std::max(1u, static_cast<unsigned int>(milliseconds));
}

class Handle final : public USBInterfaceHandle {
public:
    Handle(std::shared_ptr<Context> context, libusb_device_handle* handle, USBDeviceID device)
        : context_(std::move(context)), handle_(handle), device_(device) {}
    ~Handle() override {
        libusb_release_interface(handle_, displayInterface);
        libusb_close(handle_);
    }

    USBDeviceID device() const override { return device_; }

    std::size_t bulkOut(std::span<const std::uint8_t> bytes, double timeout) override {
        if (bytes.size() > static_cast<std::size_t>(INT_MAX)) {
            throw USBDisplayError::transferFailed(describe(LIBUSB_ERROR_INVALID_PARAM));
        }
        int moved = 0;
        // libusb only reads the buffer of an OUT transfer.
        int rc = libusb_bulk_transfer(handle_, displayEndpoint, const_cast<unsigned char*>(bytes.data()),
                                      static_cast<int>(bytes.size()), &moved, timeoutMilliseconds(timeout));
        if (rc != LIBUSB_SUCCESS) throw USBDisplayError::transferFailed(describe(rc));
        return static_cast<std::size_t>(moved);
    }

private:
    std::shared_ptr<Context> context_;
    libusb_device_handle* handle_;
    USBDeviceID device_;
};

int LIBUSB_CALL hotplugCallback(libusb_context*, libusb_device* device, libusb_hotplug_event event,
                                void* userData) {
    std::weak_ptr<const USBBackend::Events> events = static_cast<Registration*>(userData)->events;
    USBDeviceID id = idOf(device);
    bool arrived = event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED;
    MainQueue::async([events = std::move(events), id, arrived] {
        auto alive = events.lock();
        if (!alive) return;
        const auto& callback = arrived ? alive->arrived : alive->left;
        if (callback) callback(id);
    });
    return 0;  // stay registered
}

// A hotplug registration and the thread that runs libusb's events for it.
class Watch final : public USBWatch {
public:
    Watch(std::shared_ptr<Context> context, std::shared_ptr<const USBBackend::Events> events,
          libusb_hotplug_callback_handle callback)
        : context_(std::move(context)), events_(std::move(events)), callback_(callback) {}

    ~Watch() override {
        libusb_hotplug_deregister_callback(context_->get(), callback_);
        stopping_ = true;
        libusb_interrupt_event_handler(context_->get());
        if (thread_.joinable()) thread_.join();
    }

    void startThread() {
        thread_ = std::thread([this] { run(); });
        pthread_setname_np(thread_.native_handle(), "corvane.usb");
    }

private:
    void run() {
        while (!stopping_) {
            // Bounds how long stopping takes while another thread (a transfer) handles the events.
            timeval wait{0, 500'000};
            int rc = libusb_handle_events_timeout_completed(context_->get(), &wait, nullptr);
            if (rc != LIBUSB_SUCCESS && rc != LIBUSB_ERROR_INTERRUPTED && rc != LIBUSB_ERROR_TIMEOUT) {
                // Do not spin on a session that keeps failing.
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        }
    }

    std::shared_ptr<Context> context_;
    std::shared_ptr<const USBBackend::Events> events_;
    libusb_hotplug_callback_handle callback_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace
}  // namespace libusb

LibusbBackend::LibusbBackend() {
    libusb_context* context = nullptr;
    int rc = libusb_init(&context);
    if (rc != LIBUSB_SUCCESS) {
        startError_ = "libusb could not start (" + libusb::describe(rc) + ")";
        return;
    }
    context_ = std::make_shared<libusb::Context>(context);
}

LibusbBackend::~LibusbBackend() = default;

std::vector<USBDeviceID> LibusbBackend::devices(int productID) {
    std::vector<USBDeviceID> found;
    if (!context_) return found;
    libusb::DeviceList list(context_->get());
    for (libusb_device* device : list.devices()) {
        if (libusb::matches(device, productID)) found.push_back(libusb::idOf(device));
    }
    return found;
}

std::unique_ptr<USBInterfaceHandle> LibusbBackend::open(USBDeviceID id, int productID) {
    if (!context_) throw USBDisplayError::notFound();
    libusb::DeviceList list(context_->get());
    auto devices = list.devices();
    auto it = std::find_if(devices.begin(), devices.end(), [&](libusb_device* device) {
        return libusb::idOf(device) == id && libusb::matches(device, productID);
    });
    if (it == devices.end()) throw USBDisplayError::notFound();
    libusb::checkInterface(*it);

    libusb_device_handle* handle = nullptr;
    int rc = libusb_open(*it, &handle);
    if (rc != LIBUSB_SUCCESS) throw USBDisplayError::openFailed(libusb::describe(rc));
    rc = libusb_claim_interface(handle, libusb::displayInterface);
    if (rc != LIBUSB_SUCCESS) {
        libusb_close(handle);
        throw USBDisplayError::openFailed(libusb::describe(rc));
    }
    return std::make_unique<libusb::Handle>(context_, handle, id);
}

std::unique_ptr<USBWatch> LibusbBackend::watch(int productID, Events events) {
    if (!context_) throw USBDisplayError::unavailable(startError_);
    if (libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG) == 0) {
        throw USBDisplayError::unavailable("this system's libusb cannot report USB devices coming and going");
    }
    auto shared = std::make_shared<const Events>(std::move(events));
    auto* registration = context_->keep(std::make_unique<libusb::Registration>(libusb::Registration{shared}));

    libusb_hotplug_callback_handle callback = 0;
    // No enumerate flag: the caller scans the devices present itself, in its own order of work.
    int rc = libusb_hotplug_register_callback(
        context_->get(), LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT,
        LIBUSB_HOTPLUG_NO_FLAGS, DisplayFormat::usbVendorID, productID, LIBUSB_HOTPLUG_MATCH_ANY,
        &libusb::hotplugCallback, registration, &callback);
    if (rc != LIBUSB_SUCCESS) {
        throw USBDisplayError::unavailable("could not watch for USB devices (" + libusb::describe(rc) + ")");
    }
    auto watch = std::make_unique<libusb::Watch>(context_, std::move(shared), callback);
    try {
        watch->startThread();
    } catch (const std::system_error& error) {
        throw USBDisplayError::unavailable(std::string("could not start the USB event thread (") +
                                           error.what() + ")");
    }
    return watch;
}

}  // namespace corvane
