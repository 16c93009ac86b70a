#include "hardware/MIDIPortChoice.h"

#include <algorithm>

namespace corvane::MIDIPortChoice {

namespace {

std::optional<MIDIEndpointInfo> firstOnline(const std::vector<MIDIEndpointInfo>& endpoints,
                                            const std::string& name) {
    auto found = std::find_if(endpoints.begin(), endpoints.end(), [&](const MIDIEndpointInfo& endpoint) {
        return endpoint.displayName == name && !endpoint.offline;
    });
    if (found == endpoints.end()) return std::nullopt;
    return *found;
}

}  // namespace

std::vector<MIDIPortName> bothWays(const std::vector<std::string>& names) {
    std::vector<MIDIPortName> pairs;
    pairs.reserve(names.size());
    for (const std::string& name : names) pairs.push_back({name, name});
    return pairs;
}

MIDIPortBinding choose(const std::vector<MIDIPortName>& names, const std::vector<MIDIEndpointInfo>& sources,
                       const std::vector<MIDIEndpointInfo>& destinations) {
    std::optional<MIDIPortBinding> half;
    for (std::size_t index = 0; index < names.size(); ++index) {
        MIDIPortBinding binding{firstOnline(sources, names[index].source),
                                firstOnline(destinations, names[index].destination), index};
        if (binding.connected()) return binding;
        if (!half && (binding.source || binding.destination)) half = std::move(binding);
    }
    return half.value_or(MIDIPortBinding{});
}

}  // namespace corvane::MIDIPortChoice
