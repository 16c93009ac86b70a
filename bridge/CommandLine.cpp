#include "bridge/CommandLine.h"

#include <locale.h>
#include <stdlib.h>

#include <charconv>
#include <cmath>
#include <string>

#include "bridge/Version.h"

namespace corvane::CommandLine {
namespace {

// A whole decimal number too large or too small for a double, as the infinity or the (near) zero
// it tends to, so that it clamps like any other number. strtod in the "C" locale says which way it
// went; from_chars only says that it did.
double beyondRange(std::string_view number) {
    static const locale_t plain = ::newlocale(LC_ALL_MASK, "C", locale_t(0));
    const std::string text(number);
    // Without memory for a locale, the process's own, which reads at worst the digits before a point.
    return plain ? ::strtod_l(text.c_str(), nullptr, plain) : ::strtod(text.c_str(), nullptr);
}

}  // namespace

std::string usage(const std::filesystem::path& logFile) {
    return "usage: corvane-bridge [--verbose] [--log-midi] [--quiet] [--no-menu-bar] "
           "[--pixel-order bgr565|rgb565] [--max-fps N]\n\nLogs: " +
           logFile.string() + "\n";
}

std::optional<double> maxFPS(std::string_view text) {
    // from_chars takes a minus sign but not a plus sign; one sign at most.
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '+' || text.front() == '-')) return std::nullopt;
    }
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    // The whole text must be the number; from_chars reads no locale.
    if (text.empty() || end != text.data() + text.size()) return std::nullopt;
    if (error == std::errc::result_out_of_range)
        value = beyondRange(text);
    else if (error != std::errc())
        return std::nullopt;
    // fmin and fmax ignore a not-a-number operand.
    return std::fmax(std::fmin(value, 60.0), 1.0);
}

Parsed parse(std::span<const std::string> arguments, const std::filesystem::path& logFile) {
    Run run;
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        const bool hasValue = index + 1 < arguments.size();
        if (argument == "--verbose" || argument == "-v") {
            run.verbose = true;
        } else if (argument == "--log-midi") {
            run.logMIDI = true;
        } else if (argument == "--quiet") {
            run.quiet = true;
        } else if (argument == "--no-menu-bar") {
            run.menuBar = false;
        } else if (argument == "--pixel-order") {
            if (!hasValue) continue;
            ++index;
            if (auto order = pixelOrderFromRawValue(arguments[index])) run.options.pixelOrder = *order;
        } else if (argument == "--max-fps") {
            if (!hasValue) continue;
            ++index;
            if (auto fps = maxFPS(arguments[index])) run.options.maxFPS = *fps;
        } else if (argument == "--version") {
            return Exit{std::string(bridgeVersion) + "\n", 0};
        } else if (argument == "--help" || argument == "-h") {
            return Exit{usage(logFile), 0};
        } else {
            return Exit{usage(logFile), 2};
        }
    }
    return run;
}

}  // namespace corvane::CommandLine
