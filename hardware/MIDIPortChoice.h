#pragma once
// Which source and destination a device port binds when it takes its device under any of several
// names, in order of preference (a kernel may name the same device port in more than one way).
// For each name, the first source and the first destination (system order) with exactly that
// name that are not offline; the first name with both wins. Where no name has both, the first
// name with either is bound by halves, as a port of one name always is.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "hardware/MIDIEndpointInfo.h"

namespace corvane {

struct MIDIPortName {
    std::string source;
    std::string destination;
};

struct MIDIPortBinding {
    std::optional<MIDIEndpointInfo> source;
    std::optional<MIDIEndpointInfo> destination;
    // The index of the name bound; absent when nothing is.
    std::optional<std::size_t> name;

    bool connected() const { return source.has_value() && destination.has_value(); }
};

namespace MIDIPortChoice {

// Each name for both the source and the destination, as one device port shows them.
std::vector<MIDIPortName> bothWays(const std::vector<std::string>& names);

MIDIPortBinding choose(const std::vector<MIDIPortName>& names, const std::vector<MIDIEndpointInfo>& sources,
                       const std::vector<MIDIEndpointInfo>& destinations);

}  // namespace MIDIPortChoice

}  // namespace corvane
