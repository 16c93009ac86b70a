#pragma once
// What the status screen shows: the connection to the Cubase script, the versions involved and
// a few diagnostic lines that the bridge formats itself.

#include <optional>
#include <string>
#include <vector>

namespace corvane {

struct StatusModel {
    bool cubaseConnected = false;
    std::string hostDescription;  // host application name and version, as the script reported them
    std::string scriptVersion;
    std::string bridgeVersion;
    std::optional<std::string> protocolProblem;
    std::vector<std::string> diagnostics;  // one line each, already formatted
    bool showDiagnostics = false;          // the screen draws its panel whatever this says

    bool operator==(const StatusModel&) const = default;
};

}  // namespace corvane
