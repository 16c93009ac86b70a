#pragma once
// A device's source and destination, bound by exact display name to the first of each that is
// not offline, and bound again whenever the MIDI set-up changes. A port may take its device under
// several names, in order of preference (MIDIPortChoice): the first one present wins.
//
// A device that may have restarted is one its owner sets up afresh, so it hears of it as a
// disconnect and a connect: when another name, or another endpoint under the same name (another
// reference or unique ID), takes the place of a connected one; and after the client's input was
// lost, which may have taken the news of a re-plug with it, when a connection to it no longer
// stands (one back at its old address, under its old ID, comes without them). A device whose
// connections stood through the loss never left: its owner hears only that what it sent
// meanwhile was lost. Losses that come together bind afresh once.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "hardware/MIDIBackend.h"
#include "hardware/MIDIClient.h"
#include "hardware/MIDIEndpointInfo.h"
#include "hardware/MIDIPortChoice.h"
#include "platform/PIMutex.h"

namespace corvane {

class MIDIDevicePort : public std::enable_shared_from_this<MIDIDevicePort> {
public:
    // Fails with MIDIError ("MIDIInputPortCreate", "MIDIOutputPortCreate"). `onReceive` gets each
    // received byte run on the backend's receive thread.
    static std::shared_ptr<MIDIDevicePort> create(std::shared_ptr<MIDIClient> client, std::string sourceName,
                                                  std::string destinationName, MIDIReceiveCallback onReceive);
    // Source and destination by the same name, the first of `names` (one or more) that is
    // present. Binding another name in place of a connected one is reported as a disconnect and
    // a connect: it is another device, which its owner sets up afresh.
    static std::shared_ptr<MIDIDevicePort> create(std::shared_ptr<MIDIClient> client,
                                                  const std::vector<std::string>& names,
                                                  MIDIReceiveCallback onReceive);
    ~MIDIDevicePort();
    MIDIDevicePort(const MIDIDevicePort&) = delete;
    MIDIDevicePort& operator=(const MIDIDevicePort&) = delete;

    // Binds again by name; the client calls it on the main queue after every set-up change.
    void refresh();

    // One packet to the bound destination; dropped (and logged) when none is bound, which is a
    // failure. Any thread.
    MIDISendResult send(std::span<const std::uint8_t> bytes);

    bool isConnected() const;
    std::optional<MIDIEndpointInfo> source() const;
    std::optional<MIDIEndpointInfo> destination() const;

    // Called on the main queue with the new state when "both bound" changes, and with false then
    // true when a connected device is replaced or may have restarted (above).
    void setOnConnectionChange(std::function<void(bool)> handler);
    // Called on the main queue once the port has looked again after the client's input was lost,
    // when the device stayed connected through it (above): what it sent meanwhile is gone, its
    // answers among it.
    void setOnInputLostWhileConnected(std::function<void()> handler);

    // The preferred names.
    const std::string& sourceName() const { return names_.front().source; }
    const std::string& destinationName() const { return names_.front().destination; }

private:
    struct Key {};

public:
    MIDIDevicePort(Key, std::shared_ptr<MIDIClient> client, std::vector<MIDIPortName> names);

private:
    static std::shared_ptr<MIDIDevicePort> make(std::shared_ptr<MIDIClient> client,
                                                std::vector<MIDIPortName> names,
                                                MIDIReceiveCallback onReceive);
    // Binds by name; `afresh` is for when set-up changes may have gone unheard: a binding whose
    // connections no longer stand is dropped first (a device connected before and after is
    // reported as a reconnect), and one whose connections stand is reported as kept.
    void rebind(bool afresh);
    void bind(MIDIPortBinding binding);
    // Whether the connections to what is bound still stand.
    bool connectionsStand(const MIDIPortBinding& binding) const;

    std::vector<MIDIPortName> names_;
    // Inherits priority: the pad player sends LEDs through here holding its own lock, which the
    // real-time note-repeat thread may be waiting for.
    mutable PIMutex lock_;
    MIDIPortBinding bound_;
    std::function<void(bool)> onConnectionChange_;
    std::function<void()> onInputLostWhileConnected_;
    std::shared_ptr<MIDIClient> client_;
    MIDIRef inputPort_ = 0;
    MIDIRef outputPort_ = 0;
};

}  // namespace corvane
