#pragma once
// A USB gadget that the guest's own USB host sees as the Push 3 display: built through configfs
// and FunctionFS on the dummy host and device controllers, vendor 0x2982, product 0x1969, a
// vendor-class interface 0 whose bulk OUT endpoint the host sees as 0x01. It reads everything
// the host sends to that endpoint into one byte stream, can stop reading (so the host's
// transfers time out), and can be unbound and bound again (the host sees it leave and arrive).
//
// dummy_hcd hands out bulk OUT endpoint addresses in the order 0x02, 0x07, 0x0C, 0x01 whatever
// the descriptors ask for, so the gadget declares four bulk OUT endpoints and reads the one that
// ends up as 0x01.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace corvane::vm {

inline constexpr std::uint16_t push3VendorID = 0x2982;
inline constexpr std::uint16_t push3ProductID = 0x1969;
inline constexpr std::uint8_t displayEndpoint = 0x01;

class DisplayGadget {
public:
    struct Options {
        std::uint16_t vendorID = push3VendorID;
        std::uint16_t productID = push3ProductID;
        std::string udc = "dummy_udc.0";
        std::string name = "corvane-display";
    };

    // Builds the gadget and binds it; throws std::runtime_error when the kernel refuses.
    DisplayGadget();
    explicit DisplayGadget(Options options);
    ~DisplayGadget();
    DisplayGadget(const DisplayGadget&) = delete;
    DisplayGadget& operator=(const DisplayGadget&) = delete;

    void bind();
    void unbind();
    // True once the host has configured the device (FunctionFS's enable event), false after a
    // disable or unbind.
    bool waitUntilEnabled(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    // True once libusb on the host side lists the device (or, with `present` false, no longer
    // does). libusb lists a device only after udevd has handled it, which comes after the enable.
    bool waitUntilVisible(bool present = true,
                          std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    // The host-side address of the endpoint the gadget reads (0x01 when the trap works as known).
    std::uint8_t readAddress() const { return readAddress_; }

    // Reading starts with the gadget. While stopped, nothing is read and the host's transfers stall.
    void stopReading();
    void startReading();

    // Waits until at least `count` bytes have arrived, then takes exactly `count` bytes off the
    // front of the stream; empty when they did not arrive in time.
    std::vector<std::uint8_t> take(std::size_t count,
                                   std::chrono::milliseconds timeout = std::chrono::seconds(20));
    std::size_t available() const;

private:
    void build();
    void writeDescriptors();
    void control();
    void readLoop();
    void findReadEndpoint();
    void stopThreads();
    void teardown();

    Options options_;
    std::filesystem::path gadget_;
    std::filesystem::path mount_;
    int ep0_ = -1;
    std::vector<int> endpoints_;
    int readFd_ = -1;
    std::uint8_t readAddress_ = 0;
    int wake_[2] = {-1, -1};

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool enabled_ = false;
    bool reading_ = true;
    bool quitting_ = false;
    bool parked_ = false;
    bool readerDone_ = false;
    std::vector<std::uint8_t> stream_;
    std::thread control_;
    std::thread reader_;
};

}  // namespace corvane::vm
