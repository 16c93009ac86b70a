#pragma once
// A port of our own that other applications see under a fixed name and unique ID: a source they
// read from and, when it receives, a destination of the same name they write to.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "hardware/MIDIBackend.h"
#include "hardware/MIDIClient.h"

namespace corvane {

class VirtualMIDIPort {
public:
    // Without `onReceive` the port is a source only. The destination's unique ID is uniqueID + 1.
    // Fails with MIDIError ("MIDISourceCreate", "MIDIDestinationCreate").
    VirtualMIDIPort(std::shared_ptr<MIDIClient> client, std::string name, std::int32_t uniqueID,
                    MIDIReceiveCallback onReceive = {});
    ~VirtualMIDIPort();
    VirtualMIDIPort(const VirtualMIDIPort&) = delete;
    VirtualMIDIPort& operator=(const VirtualMIDIPort&) = delete;

    // One packet to every reader of the source; nothing for no bytes. Any thread.
    MIDISendResult send(std::span<const std::uint8_t> bytes);
    MIDISendResult send(const std::uint8_t* bytes, std::size_t count) {
        return send(std::span(bytes, count));
    }

    const std::string& name() const { return name_; }
    MIDIRef source() const { return source_; }
    MIDIRef destination() const { return destination_; }  // 0 when the port only sends

private:
    std::shared_ptr<MIDIClient> client_;
    std::string name_;
    MIDIRef source_ = 0;
    MIDIRef destination_ = 0;
};

}  // namespace corvane
