#include "hardware/MIDIEndpointInfo.h"

namespace corvane {

std::string MIDIEndpointInfo::description() const {
    std::string text = displayName + " [id " + std::to_string(uniqueID) + "]";
    if (offline) text += " (offline)";
    return text;
}

}  // namespace corvane
