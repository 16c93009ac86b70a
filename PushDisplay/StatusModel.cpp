#include "PushDisplay/StatusModel.h"

#include "PushDisplay/Theme.h"

namespace corvane {

std::string StatusModel::statusText() const {
    if (protocolProblem) return *protocolProblem;
    return cubaseConnected ? "Cubase Connected" : "Waiting for Cubase\u2026";
}

DisplayColor StatusModel::statusColor() const {
    if (protocolProblem) return Theme::error;
    return cubaseConnected ? Theme::ok : Theme::warn;
}

std::string StatusModel::infoLine() const {
    std::string line;
    auto add = [&line](const std::string& part) {
        if (!line.empty()) line += "  \u00B7  ";
        line += part;
    };
    if (!hostDescription.empty()) add(hostDescription);
    if (!scriptVersion.empty()) add("script " + scriptVersion);
    add("bridge " + bridgeVersion);
    return line;
}

}  // namespace corvane
