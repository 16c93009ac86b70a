#pragma once
// The host's transport position as a number, read from the text of its primary time display:
// bars and beats give quarter notes from the start of bar 1, a clock gives seconds.

#include <optional>
#include <string_view>

namespace corvane {

struct TimelinePosition {
    enum class Unit { beats, seconds };

    // Bars always count four beats; the host's time signature is not known here.
    static constexpr int assumedBeatsPerBar = 4;

    Unit unit = Unit::beats;
    double value = 0.0;  // may be negative

    // "5. 1. 1.   0" (beats 16), "0:01:30.500" (seconds 90.5), "1:00:00:15" (a timecode, the
    // last field frames at 30 per second). Any other format, and any number that is not finite,
    // gives nothing.
    static std::optional<TimelinePosition> parse(std::string_view text);

    bool operator==(const TimelinePosition&) const = default;
};

}  // namespace corvane
