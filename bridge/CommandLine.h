#pragma once
// The bridge's command line: what to run with, or what to print before leaving at once.

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "bridge/BridgeOptions.h"

namespace corvane::CommandLine {

// Run the bridge.
struct Run {
    BridgeOptions options;
    bool menuBar = true;
    bool verbose = false;  // log level debug
    bool logMIDI = false;
    bool quiet = false;  // no copy of the log on standard error
    bool operator==(const Run&) const = default;
};

// Print `output` to standard output and leave with `status`.
struct Exit {
    std::string output;
    int status = 0;
    bool operator==(const Exit&) const = default;
};

using Parsed = std::variant<Run, Exit>;

// The usage text, naming the log file.
std::string usage(const std::filesystem::path& logFile);

// `arguments` are those after the program name. --version and an unrecognised argument end the
// reading at once; a later option overrides an earlier one; values that cannot be used are
// consumed and ignored.
Parsed parse(std::span<const std::string> arguments, const std::filesystem::path& logFile);

// "N" read as a decimal number and clamped to 1...60 (not-a-number counts as 60); absent when
// it is no number at all.
std::optional<double> maxFPS(std::string_view text);

}  // namespace corvane::CommandLine
