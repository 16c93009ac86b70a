#pragma once
// A MIDI system for tests, behind the same interface as the ALSA sequencer. Tests play the
// outside world: they add devices and other applications' endpoints, rename them, take them
// offline and remove them, make them send bytes, and read what was sent to them. Set-up changes
// reach clients on the main queue, coalesced, as the real system's do; every received byte run
// is delivered on one delivery thread, in the order it was sent. Every packet sent through the
// system is recorded. Input overflows as the kernel's sequencer lets it (below), set-up changes
// held with it. Thread-safe.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hardware/MIDIBackend.h"

namespace corvane {

class SimulatedMIDISystem final : public MIDIBackend {
public:
    using Bytes = std::vector<std::uint8_t>;

    // One packet sent through the system: by an output port to a destination, or by a virtual
    // source to its readers (then `to` is 0).
    struct Packet {
        MIDIRef from = 0;
        MIDIRef to = 0;
        Bytes bytes;
        bool operator==(const Packet&) const = default;
    };

    // One connectSource or disconnectSource call, whether or not it changed anything.
    struct ConnectionCall {
        MIDIRef port = 0;
        MIDIRef source = 0;
        bool connect = false;
        bool operator==(const ConnectionCall&) const = default;
    };

    // A device's port pair, as a USB MIDI device shows one port.
    struct Device {
        MIDIRef source = 0;
        MIDIRef destination = 0;
    };

    SimulatedMIDISystem();
    ~SimulatedMIDISystem() override;
    SimulatedMIDISystem(const SimulatedMIDISystem&) = delete;
    SimulatedMIDISystem& operator=(const SimulatedMIDISystem&) = delete;

    // ---- The outside world. New endpoints go to the end of the system's order. No name lists as
    // "?"; no unique ID means a fresh one. Each of these is a set-up change.

    MIDIRef addSource(std::optional<std::string> name, std::optional<std::int32_t> uniqueID = {},
                      bool offline = false);
    MIDIRef addDestination(std::optional<std::string> name, std::optional<std::int32_t> uniqueID = {},
                           bool offline = false);
    // Source and destination of one name; the destination's unique ID is the source's + 1. As a
    // kernel's port does, the destination takes packets only from output ports connected to it
    // (others are refused and not recorded); other destinations take them from any.
    Device addDevice(const std::string& name, std::optional<std::int32_t> uniqueID = {});
    // A removed device back at its old references, listed where they list, as the kernel gives a
    // port made again its old client:port address; its connections went with its removal. A
    // fresh unique ID unless one is given: the old one plays a return the system did not see.
    Device addDevice(const std::string& name, Device at, std::optional<std::int32_t> uniqueID = {});
    void remove(MIDIRef endpoint);
    void remove(Device device);
    void rename(MIDIRef endpoint, std::optional<std::string> name);
    void setOffline(MIDIRef endpoint, bool offline);

    // Called on the delivery thread with every run sent to an outside destination (a device's
    // own handling of what it receives, such as answering a query by injecting a reply).
    void setReceiver(MIDIRef destination, MIDIReceiveCallback receiver);

    // Called on the sender's own thread with every run an output port sends that a destination
    // took, and every run a virtual source sends that its readers took (then `destination` is the
    // source), before the send returns: a test's way to make something happen at an exact moment
    // of a sender's work. Empty: none.
    using SendHook = std::function<void(MIDIRef destination, std::span<const std::uint8_t> bytes)>;
    void setSendHook(SendHook hook);

    // Called on the delivery thread with every run handed to one of a client's ports or virtual
    // destinations, around the handing: it calls `deliver` once. A test's way to watch what a
    // receiver does with one run. Empty: none.
    using DeliveryHook = std::function<void(MIDIRef port, const std::function<void()>& deliver)>;
    void setDeliveryHook(DeliveryHook hook);

    // True while the calling thread runs the system's own work inside a call into it, which the
    // kernel does for a real one: a test counting what a program's thread allocates or locks
    // leaves it out.
    static bool busyOnThisThread();

    // ---- Traffic.

    // Bytes coming from an outside source (a device or another application playing), one run to
    // every input port connected to it; nothing from an offline source. Given one of our virtual
    // destinations, the bytes arrive at it as if an application sent them. Delivered later, on
    // the delivery thread.
    void inject(MIDIRef endpoint, Bytes bytes);

    // Every run sent to this destination, or by this virtual source, in order.
    std::vector<Bytes> sentTo(MIDIRef endpoint) const;
    // Every packet sent through the system, in order.
    std::vector<Packet> sent() const;
    void clearSent();

    // ---- Input that overflows, as a client's input pool in the kernel's sequencer. A reader (a
    // client, for all its ports; or an outside destination with a receiver, a device) holds what
    // is sent to it in its pool, one event per run, until it reads it. A run that finds the pool
    // full is refused (a send reports receiverFull) and the reader has overflowed. At its next
    // read everything it had queued is thrown away and a client's input-lost callback runs, on
    // the delivery thread, followed by a set-up notification, as the ALSA backend gives; runs
    // sent after that arrive as usual. A client that does not read hears of no set-up change
    // until it reads again: each change waits in its pool as the kernel's announcements do,
    // taking room there, and goes with the rest if the pool overflows.

    static constexpr std::size_t defaultInputPool = 2000;  // what the ALSA backend asks for
    // At least one event.
    void setInputPool(MIDIRef reader, std::size_t events);
    // A reader that does not read (a stopped or stalled program, a device that takes nothing)
    // keeps what is queued for it until it reads again.
    void setReading(MIDIRef reader, bool reading);
    // A reader that does not read reads up to `events` of what is queued for it now and stops
    // again, as a slow program reads a little at a time; a read that finds its input overflowed
    // finds it thrown away, and ends there. Returns once what was read has been handled. Any
    // thread but the delivery thread.
    void readSome(MIDIRef reader, std::size_t events);

    // What a reader's input has seen so far: runs it took and refused, and the times everything
    // queued in it was thrown away after an overflow.
    struct InputCounts {
        std::size_t taken = 0;
        std::size_t refused = 0;
        std::size_t lost = 0;
        bool operator==(const InputCounts&) const = default;
    };
    InputCounts inputCounts(MIDIRef reader) const;

    // ---- Looking at the system.

    // The first client made under this name.
    std::optional<MIDIRef> findClient(const std::string& name) const;

    // The first source (destination) with this name, in the system's order.
    std::optional<MIDIRef> findSource(const std::string& name) const;
    std::optional<MIDIRef> findDestination(const std::string& name) const;
    // The input ports connected to a source.
    std::vector<MIDIRef> readersOf(MIDIRef source) const;
    // The output ports connected to a destination.
    std::vector<MIDIRef> writersOf(MIDIRef destination) const;
    std::vector<ConnectionCall> connectionCalls() const;
    void clearConnectionCalls();
    // Set-up notifications that have reached clients.
    int setupNotifications() const;
    int clientCount() const;
    int portCount() const;  // input and output ports

    // The next create call of this operation ("MIDIClientCreate", "MIDIInputPortCreate",
    // "MIDIOutputPortCreate", "MIDISourceCreate", "MIDIDestinationCreate") fails with `status`.
    void failNext(const std::string& operation, std::int32_t status = -10830);
    // From now on the system cannot be asked at all, as on a machine without a sequencer: making
    // a client and listing sources or destinations fail with "MIDIClientCreate" and `status`.
    void makeUnreachable(std::int32_t status = -2);

    // ---- Waiting (main thread).

    // Until every delivery queued so far for a reader that reads has run. Any thread but the
    // delivery thread.
    void waitForDeliveries() const;
    // Pumps the main queue until no delivery and no set-up notification is outstanding, and the
    // main-queue work they posted has run; false after `timeout`.
    bool settle(std::chrono::milliseconds timeout = std::chrono::seconds(5));

    // ---- MIDIBackend.

    std::vector<Endpoint> sources() override;
    std::vector<Endpoint> destinations() override;
    MIDIRef createClient(const std::string& name, std::function<void()> onSetupChanged,
                         std::function<void()> onInputLost) override;
    void disposeClient(MIDIRef client) override;
    MIDIRef createInputPort(MIDIRef client, const std::string& name, MIDIReceiveCallback onReceive) override;
    MIDIRef createOutputPort(MIDIRef client, const std::string& name) override;
    void disposePort(MIDIRef port) override;
    void connectSource(MIDIRef inputPort, MIDIRef source) override;
    void disconnectSource(MIDIRef inputPort, MIDIRef source) override;
    void connectDestination(MIDIRef outputPort, MIDIRef destination) override;
    void disconnectDestination(MIDIRef outputPort, MIDIRef destination) override;
    bool sourceConnected(MIDIRef inputPort, MIDIRef source) override;
    bool destinationConnected(MIDIRef outputPort, MIDIRef destination) override;
    MIDISendResult send(MIDIRef outputPort, MIDIRef destination,
                        std::span<const std::uint8_t> bytes) override;
    MIDIRef createVirtualSource(MIDIRef client, const std::string& name, std::int32_t uniqueID) override;
    MIDIRef createVirtualDestination(MIDIRef client, const std::string& name, std::int32_t uniqueID,
                                     MIDIReceiveCallback onReceive) override;
    MIDISendResult received(MIDIRef virtualSource, std::span<const std::uint8_t> bytes) override;
    void disposeEndpoint(MIDIRef endpoint) override;

    struct State;

private:
    std::shared_ptr<State> state_;
};

}  // namespace corvane
