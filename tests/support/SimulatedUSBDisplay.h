#pragma once
// A USB system with Push displays in it, for tests. Devices are plugged in and out on demand and
// their arrival and departure reach watchers on the main queue, as libusb's do; opens and
// transfers fail or come up short when told to; every transfer and every whole frame that
// arrives is kept. Thread-safe: transfers run on the display's transfer queue.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "PushDisplay/DisplayFormat.h"
#include "hardware/USBBackend.h"
#include "hardware/USBDisplayError.h"

namespace corvane {

class SimulatedUSBDisplay final : public USBBackend {
public:
    // What a device reports for a transfer to a device that has gone, as libusb does.
    static constexpr const char* noDeviceText = "No such device (it may have been disconnected)";
    // A fault's count that never runs out.
    static constexpr int always = -1;

    // Which transfers a transfer fault applies to: the 16-byte header, the pixel block, or any.
    enum class Transfer { any, header, pixels };

    struct ReceivedTransfer {
        USBDeviceID device;
        std::vector<std::uint8_t> bytes;  // what arrived: fewer than sent when the transfer came up short
        std::size_t sent = 0;
        double timeout = 0;
    };

    // A header transfer followed by a pixel transfer, both whole, on the same device.
    struct ReceivedFrame {
        USBDeviceID device;
        std::vector<std::uint8_t> header;
        std::vector<std::uint8_t> pixels;  // as on the wire, shaped

        bool headerIsValid() const;
        // The 16-bit value of pixel (x, y) with the shaping undone; unpack it with a PixelOrder.
        std::uint16_t pixel(int x, int y) const;
    };

    SimulatedUSBDisplay();
    ~SimulatedUSBDisplay() override;

    // A Push 3 by default. Returns the new device's ID; a device plugged in again is a new one.
    USBDeviceID plug(int productID = DisplayFormat::push3ProductID);
    void unplug(USBDeviceID device);
    // Every device.
    void unplug();
    bool isPlugged(USBDeviceID device) const;

    // The next `times` opens (or all, with `always`) throw `error` before looking at the device.
    void failOpens(USBDisplayError error, int times = 1);
    // The next `times` matching transfers fail with "Display transfer failed: <description>".
    void failTransfers(std::string description, int times = 1, Transfer which = Transfer::any);
    // The next `times` matching transfers move only the first `moved` bytes.
    void shortenTransfers(std::size_t moved, int times = 1, Transfer which = Transfer::pixels);
    // From now on `watch` throws `error` (a machine without hotplug, or without USB).
    void failWatches(USBDisplayError error);
    void clearFaults();

    // Transfers wait until released, so a test can act while one is in progress.
    void holdTransfers();
    void releaseTransfers();
    // True once a transfer is waiting in the hold.
    bool waitForHeldTransfer(std::chrono::milliseconds timeout) const;

    std::vector<ReceivedTransfer> transfers() const;
    std::vector<ReceivedFrame> frames() const;
    std::size_t frameCount() const;
    std::optional<ReceivedFrame> lastFrame() const;
    void clearRecords();

    int openAttempts() const;
    int opens() const;   // successful
    int closes() const;  // interfaces released
    int openInterfaces() const;
    // Interfaces released while a transfer on them was still running: must stay 0.
    int closesDuringTransfer() const;
    int activeWatches() const;

    std::vector<USBDeviceID> devices(int productID) override;
    std::unique_ptr<USBInterfaceHandle> open(USBDeviceID device, int productID) override;
    std::unique_ptr<USBWatch> watch(int productID, Events events) override;

    struct State;

private:
    std::shared_ptr<State> state_;
};

}  // namespace corvane
