#pragma once
// A device's source and destination, bound by exact display name to the first of each that is
// not offline, and bound again whenever the MIDI set-up changes.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "hardware/MIDIBackend.h"
#include "hardware/MIDIClient.h"
#include "hardware/MIDIEndpointInfo.h"
#include "platform/PIMutex.h"

namespace corvane {

class MIDIDevicePort : public std::enable_shared_from_this<MIDIDevicePort> {
public:
    // Fails with MIDIError ("MIDIInputPortCreate", "MIDIOutputPortCreate"). `onReceive` gets each
    // received byte run on the backend's receive thread.
    static std::shared_ptr<MIDIDevicePort> create(std::shared_ptr<MIDIClient> client, std::string sourceName,
                                                  std::string destinationName, MIDIReceiveCallback onReceive);
    ~MIDIDevicePort();
    MIDIDevicePort(const MIDIDevicePort&) = delete;
    MIDIDevicePort& operator=(const MIDIDevicePort&) = delete;

    // Binds again by name; the client calls it on the main queue after every set-up change.
    void refresh();

    // One packet to the bound destination; dropped (and logged) when none is bound. Any thread.
    void send(std::span<const std::uint8_t> bytes);

    bool isConnected() const;
    std::optional<MIDIEndpointInfo> source() const;
    std::optional<MIDIEndpointInfo> destination() const;

    // Called by refresh() with the new state when "both bound" changes.
    void setOnConnectionChange(std::function<void(bool)> handler);

    const std::string& sourceName() const { return sourceName_; }
    const std::string& destinationName() const { return destinationName_; }

private:
    struct Key {};

public:
    MIDIDevicePort(Key, std::shared_ptr<MIDIClient> client, std::string sourceName,
                   std::string destinationName);

private:
    std::string sourceName_;
    std::string destinationName_;
    // Inherits priority: the pad player sends LEDs through here holding its own lock, which the
    // real-time note-repeat thread may be waiting for.
    mutable PIMutex lock_;
    std::optional<MIDIEndpointInfo> source_;
    std::optional<MIDIEndpointInfo> destination_;
    std::function<void(bool)> onConnectionChange_;
    std::shared_ptr<MIDIClient> client_;
    MIDIRef inputPort_ = 0;
    MIDIRef outputPort_ = 0;
};

}  // namespace corvane
