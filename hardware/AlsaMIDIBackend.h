#pragma once
// The MIDI service of Linux, the ALSA sequencer.
//
// Each client is a sequencer client of that name. A virtual source is a port that others can read
// from and subscribe to, a virtual destination one they can write to and subscribe to; the ports
// behind a device port and the one that listens to the System Announce port are hidden from
// routing and from listings. One receive thread of our own turns the events of every client into
// byte runs, in order. Sends are serialised by one lock. Set-up changes are coalesced and reach
// each client on the main queue. Unique IDs follow AlsaPortIdentities; no port is ever offline.
//
// Where the machine has no sequencer (/dev/snd/seq is missing), creating a client fails with a
// MIDIError that says so, and so do the listings.

#include <memory>

#include "hardware/MIDIBackend.h"

namespace corvane {

class AlsaMIDIBackend final : public MIDIBackend {
public:
    AlsaMIDIBackend();
    ~AlsaMIDIBackend() override;
    AlsaMIDIBackend(const AlsaMIDIBackend&) = delete;
    AlsaMIDIBackend& operator=(const AlsaMIDIBackend&) = delete;

    // Whether this machine has a sequencer device at all.
    static bool sequencerPresent();

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

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace corvane
