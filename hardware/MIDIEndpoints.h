#pragma once
// The listing of every MIDI endpoint in the system.

#include <vector>

#include "hardware/MIDIBackend.h"
#include "hardware/MIDIEndpointInfo.h"

namespace corvane::MIDIEndpoints {

// Every source (destination) in the system's order. Fails with MIDIError when the system cannot
// be asked, rather than seeming empty.
std::vector<MIDIEndpointInfo> sources(MIDIBackend& backend = *MIDIBackend::system());
std::vector<MIDIEndpointInfo> destinations(MIDIBackend& backend = *MIDIBackend::system());

// One endpoint as listed: "?" for a missing name, 0 for a missing unique ID.
MIDIEndpointInfo info(const MIDIBackend::Endpoint& endpoint);

}  // namespace corvane::MIDIEndpoints
