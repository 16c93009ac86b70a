#pragma once
// What the tracks overview draws: the transport header, a timeline window around the current
// position, and the eight bank channels. Built afresh from the host state for every frame.

#include <optional>
#include <string>
#include <vector>

#include "PushDisplay/DisplayColor.h"
#include "core/TimelinePosition.h"

namespace corvane {

class RemoteState;

struct TracksScreenModel {
    using Unit = TimelinePosition::Unit;

    struct Row {
        bool exists = false;  // the bank slot holds a channel
        std::string name;
        std::optional<DisplayColor> color;
        bool mute = false;
        bool solo = false;
        bool recordArm = false;
        bool selected = false;
        double meter = 0.0;  // output level, 0 to 1 as the host sends it

        bool operator==(const Row&) const = default;
    };

    // Both ends included, in the unit of the position.
    struct Range {
        double lowerBound = 0.0;
        double upperBound = 0.0;

        bool operator==(const Range&) const = default;
    };

    std::vector<Row> rows = std::vector<Row>(8);
    std::string positionText;  // the host's time text, runs of blanks shrunk to one, none at the ends
    std::string tempoText;
    std::string bankText;
    bool playing = false;
    bool recording = false;
    bool cycle = false;
    std::optional<Unit> unit;  // absent when the time text could not be read
    double windowStart = 0.0;  // follows the position up to 2^50, where it stops
    double windowEnd = 1.0;
    std::optional<double> playhead;     // present exactly when unit is
    std::optional<Range> cycleRange;    // ascending, in unit; kept while cycle is off

    TracksScreenModel() = default;
    // Only reads the state.
    explicit TracksScreenModel(const RemoteState& state);

    // The length of the timeline window: 16 bars of four beats, or 32 seconds.
    static double span(Unit unit);

    bool operator==(const TracksScreenModel&) const = default;
};

}  // namespace corvane
