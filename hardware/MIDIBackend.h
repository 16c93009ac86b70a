#pragma once
// The seam between the MIDI ports and the system's MIDI service: one small interface, one class
// per platform (the ALSA sequencer in the programs, a simulated MIDI system in the tests).
//
// Every object the backend makes is named by a MIDIRef: clients, ports, endpoints. Creating one
// fails with MIDIError. Sources and destinations are listed in the system's order; a listing
// fails with MIDIError ("MIDIClientCreate") when the system cannot be asked at all.
//
// Contract for every backend:
// - Receive callbacks get one byte run (the bytes of one received packet, in order) per call, on
//   a receive thread of the backend's, never on the main queue. Runs for one port arrive in order.
// - When the system throws away what was queued for a client (its input overflowed: the kernel
//   clears all of it, for every port), the client's input-lost callback runs on the receive
//   thread, after the runs received before the loss and before those after it. A client's
//   receive and input-lost callbacks never run at the same time.
// - A client's set-up callback runs on the main queue, after the change, at most once for changes
//   that come together, and never after the client is disposed. It also runs after the client's
//   input was lost: the system's announcements of changes are queued with its input and may have
//   gone with it. A port that left and came back meanwhile may then list as it did before, with
//   its old reference and unique ID, though its connections went with it: only they tell.
// - Once disposePort, disposeEndpoint or disposeClient returns, the callbacks they took are never
//   called again (unless the call came from inside such a callback, which may finish).
// - send and received may be called from any thread; an empty byte run sends nothing.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace corvane {

using MIDIRef = std::uint32_t;
using MIDIReceiveCallback = std::function<void(std::span<const std::uint8_t>)>;

// What became of a packet sent. `receiverFull`: the receiving program's input was full and it
// was refused, in whole or in part; that program loses what it had queued too, and a later send
// may get through. `failed`: anything else (mostly a destination that has just gone).
enum class MIDISendResult : std::uint8_t { sent, receiverFull, failed };

class MIDIBackend {
public:
    // An endpoint's properties as the system keeps them; absent where it has none.
    struct Endpoint {
        MIDIRef ref = 0;
        std::optional<std::string> name;
        std::optional<std::int32_t> uniqueID;
        bool offline = false;
    };

    virtual ~MIDIBackend() = default;

    // The system's MIDI service (the ALSA sequencer), made on first use, shared by the process.
    static std::shared_ptr<MIDIBackend> system();

    virtual std::vector<Endpoint> sources() = 0;
    virtual std::vector<Endpoint> destinations() = 0;

    // `onInputLost` may be empty.
    virtual MIDIRef createClient(const std::string& name, std::function<void()> onSetupChanged,
                                 std::function<void()> onInputLost) = 0;
    virtual void disposeClient(MIDIRef client) = 0;

    // A port that receives from the sources connected to it.
    virtual MIDIRef createInputPort(MIDIRef client, const std::string& name,
                                    MIDIReceiveCallback onReceive) = 0;
    virtual MIDIRef createOutputPort(MIDIRef client, const std::string& name) = 0;
    virtual void disposePort(MIDIRef port) = 0;
    // Failures (a source that has gone) are logged, not thrown.
    virtual void connectSource(MIDIRef inputPort, MIDIRef source) = 0;
    virtual void disconnectSource(MIDIRef inputPort, MIDIRef source) = 0;
    // An output port sends to a device's destination only while connected to it: the kernel's
    // own MIDI ports take events only from their subscribers. Failures are logged, not thrown.
    virtual void connectDestination(MIDIRef outputPort, MIDIRef destination) = 0;
    virtual void disconnectDestination(MIDIRef outputPort, MIDIRef destination) = 0;
    // Whether a connection made above still stands. It goes with either end: a port that left
    // and came back, even at its old reference, is not connected until connected again.
    virtual bool sourceConnected(MIDIRef inputPort, MIDIRef source) = 0;
    virtual bool destinationConnected(MIDIRef outputPort, MIDIRef destination) = 0;
    // One packet, now, through the output port to the destination. Failures are logged.
    virtual MIDISendResult send(MIDIRef outputPort, MIDIRef destination,
                                std::span<const std::uint8_t> bytes) = 0;

    // Endpoints of this client that other applications see, with a fixed unique ID.
    virtual MIDIRef createVirtualSource(MIDIRef client, const std::string& name, std::int32_t uniqueID) = 0;
    virtual MIDIRef createVirtualDestination(MIDIRef client, const std::string& name, std::int32_t uniqueID,
                                             MIDIReceiveCallback onReceive) = 0;
    // One packet, now, to everyone reading the virtual source; receiverFull when a reader's full
    // input refused it.
    virtual MIDISendResult received(MIDIRef virtualSource, std::span<const std::uint8_t> bytes) = 0;
    virtual void disposeEndpoint(MIDIRef endpoint) = 0;
};

}  // namespace corvane
