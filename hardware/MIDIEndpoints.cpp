#include "hardware/MIDIEndpoints.h"

namespace corvane::MIDIEndpoints {

namespace {

std::vector<MIDIEndpointInfo> infos(const std::vector<MIDIBackend::Endpoint>& endpoints) {
    std::vector<MIDIEndpointInfo> result;
    result.reserve(endpoints.size());
    for (const auto& endpoint : endpoints) result.push_back(info(endpoint));
    return result;
}

}  // namespace

std::vector<MIDIEndpointInfo> sources(MIDIBackend& backend) { return infos(backend.sources()); }

std::vector<MIDIEndpointInfo> destinations(MIDIBackend& backend) { return infos(backend.destinations()); }

MIDIEndpointInfo info(const MIDIBackend::Endpoint& endpoint) {
    return MIDIEndpointInfo{
        .ref = endpoint.ref,
        .displayName = endpoint.name.value_or("?"),
        .uniqueID = endpoint.uniqueID.value_or(0),
        .offline = endpoint.offline,
    };
}

}  // namespace corvane::MIDIEndpoints
