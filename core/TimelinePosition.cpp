#include "core/TimelinePosition.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <system_error>
#include <type_traits>
#include <vector>

#include "core/TextPieces.h"

namespace corvane {
namespace {

// Fixed whatever the host's frame rate or resolution.
constexpr double framesPerSecond = 30.0;
constexpr double ticksPerBeat = 480.0;

std::string_view trimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// A whole piece as a number, with an optional sign; no white space, no hexadecimal.
template <class T>
std::optional<T> readNumber(std::string_view piece) {
    if (!piece.empty() && piece.front() == '+') {
        piece.remove_prefix(1);
        if (!piece.empty() && (piece.front() == '-' || piece.front() == '+')) return std::nullopt;
    }
    if (piece.empty()) return std::nullopt;
    T value{};
    const char* end = piece.data() + piece.size();
    std::from_chars_result result;
    if constexpr (std::is_floating_point_v<T>)
        result = std::from_chars(piece.data(), end, value, std::chars_format::general);
    else
        result = std::from_chars(piece.data(), end, value);
    if (result.ec != std::errc{} || result.ptr != end) return std::nullopt;
    return value;
}

std::optional<double> clockSeconds(std::string_view text) {
    text.remove_prefix(std::min(text.find_first_not_of('-'), text.size()));
    std::vector<double> fields;
    for (const std::string_view piece : textPieces(text, ":")) {
        const auto number = readNumber<double>(trimBlanks(piece));
        if (!number || !std::isfinite(*number)) return std::nullopt;
        fields.push_back(*number);
    }
    switch (fields.size()) {
    case 2: return fields[0] * 60 + fields[1];
    case 3: return fields[0] * 3600 + fields[1] * 60 + fields[2];
    case 4: return fields[0] * 3600 + fields[1] * 60 + fields[2] + fields[3] / framesPerSecond;
    default: return std::nullopt;
    }
}

std::optional<double> barsAndBeats(std::string_view text) {
    const auto parts = textPieces(text, ". ");
    if (parts.size() != 3 && parts.size() != 4) return std::nullopt;
    double fields[4] = {0, 0, 0, 0};
    for (std::size_t i = 0; i < parts.size(); ++i) {
        std::string_view piece = parts[i];
        piece.remove_prefix(std::min(piece.find_first_not_of('-'), piece.size()));
        piece.remove_suffix(piece.size() - std::min(piece.find_last_not_of('-') + 1, piece.size()));
        const auto number = readNumber<std::int64_t>(piece);
        if (!number) return std::nullopt;
        // Counted in floating point: a huge bar number must not overflow an integer.
        fields[i] = static_cast<double>(*number);
    }
    return (fields[0] - 1) * TimelinePosition::assumedBeatsPerBar + (fields[1] - 1) + (fields[2] - 1) * 0.25 +
           fields[3] / ticksPerBeat;
}

}  // namespace

std::optional<TimelinePosition> TimelinePosition::parse(std::string_view text) {
    text = trimBlanks(text);
    if (text.empty()) return std::nullopt;
    const bool negative = text.front() == '-';
    const bool clock = text.find(':') != std::string_view::npos;

    const auto value = clock ? clockSeconds(text) : barsAndBeats(text);
    // Only finite positions can be placed on a timeline.
    if (!value || !std::isfinite(*value)) return std::nullopt;
    return TimelinePosition{clock ? Unit::seconds : Unit::beats, negative ? -*value : *value};
}

}  // namespace corvane
