#pragma once
// One MIDI endpoint as a listing shows it.

#include <cstdint>
#include <string>

namespace corvane {

struct MIDIEndpointInfo {
    std::uint32_t ref = 0;
    std::string displayName;    // "?" when the endpoint has none
    std::int32_t uniqueID = 0;  // 0 when it cannot be read
    bool offline = false;

    // Display name, " [id <unique ID>]", then " (offline)" when offline.
    std::string description() const;

    bool operator==(const MIDIEndpointInfo&) const = default;
};

}  // namespace corvane
