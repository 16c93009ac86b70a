#pragma once
// What the status screen and the setup page's diagnostics tab show, filled by the bridge from
// its own state for each frame.

#include <optional>
#include <string>
#include <vector>

#include "PushDisplay/DisplayColor.h"

namespace corvane {

struct StatusModel {
    bool cubaseConnected = false;
    std::string hostDescription;  // host application name and version as the script reported them
    std::string scriptVersion;
    std::string bridgeVersion;
    std::optional<std::string> protocolProblem;
    std::vector<std::string> diagnostics;  // one line each, already formatted
    // A request flag; the status screen draws its diagnostics panel whatever its value.
    bool showDiagnostics = false;

    // The connection in words and its colour's meaning: the problem when there is one, else
    // "Cubase Connected" or "Waiting for Cubase…".
    std::string statusText() const;
    // Theme::error with a problem, else Theme::ok when connected, else Theme::warn.
    DisplayColor statusColor() const;
    // hostDescription, "script " + scriptVersion (each only when not empty) and always
    // "bridge " + bridgeVersion, joined by "  ·  ".
    std::string infoLine() const;

    bool operator==(const StatusModel&) const = default;
};

}  // namespace corvane
