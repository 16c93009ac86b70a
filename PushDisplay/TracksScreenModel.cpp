#include "PushDisplay/TracksScreenModel.h"

#include <algorithm>
#include <cmath>

#include "core/RemoteState.h"
#include "core/StateKeys.h"

namespace corvane {
namespace {

// The window moves one bar, or one second, at a time.
double step(TimelinePosition::Unit unit) { return unit == TimelinePosition::Unit::beats ? 4.0 : 1.0; }

// The farthest position the window follows. Up to here a double holds every whole time of the
// window exactly, so it keeps its full span and the screen's marks (every 4 or 16 beats, 5 or 10
// seconds, found by dividing by those) fall on distinct times in order; farther on, adding a span
// to the window's start would change it little or not at all. The playhead itself is not held back.
constexpr double farthestFollowed = 0x1p50;

std::string normalizedBlanks(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) {
            if (!result.empty()) result += ' ';
            result.append(text, start, end - start);
        }
        start = end + 1;
    }
    return result;
}

std::optional<TracksScreenModel::Range> readCycleRange(const RemoteState& state, TimelinePosition::Unit unit) {
    namespace Transport = StateKeys::Transport;
    const auto startText = state.string(Transport::cycleStartText);
    if (!startText) return std::nullopt;
    const auto start = TimelinePosition::parse(*startText);
    if (!start) return std::nullopt;
    const auto endText = state.string(Transport::cycleEndText);
    if (!endText) return std::nullopt;
    const auto end = TimelinePosition::parse(*endText);
    if (!end) return std::nullopt;
    if (start->unit != unit || end->unit != unit || !(start->value < end->value)) return std::nullopt;
    return TracksScreenModel::Range{start->value, end->value};
}

TracksScreenModel::Row readRow(const RemoteState& state, int index) {
    namespace Field = StateKeys::ChannelField;
    const auto key = [index](std::uint8_t field) { return StateKeys::bankChannel(index, field); };
    TracksScreenModel::Row row;
    row.exists = state.flag(key(Field::exists));
    row.name = state.string(key(Field::name)).value_or("");
    if (const auto rgb = state.color(key(Field::color))) row.color = DisplayColor(rgb->r, rgb->g, rgb->b);
    row.mute = state.flag(key(Field::mute));
    row.solo = state.flag(key(Field::solo));
    row.recordArm = state.flag(key(Field::recordArm));
    row.selected = state.flag(key(Field::selected));
    row.meter = state.normalized(key(Field::meter)).value_or(0.0);
    return row;
}

}  // namespace

double TracksScreenModel::span(Unit unit) { return unit == Unit::beats ? 64.0 : 32.0; }

TracksScreenModel::TracksScreenModel(const RemoteState& state) {
    namespace Transport = StateKeys::Transport;
    const std::string time = state.string(Transport::timeText).value_or("");
    positionText = normalizedBlanks(time);
    tempoText = state.string(Transport::tempoText).value_or("");
    bankText = state.string(StateKeys::Session::bankText).value_or("");
    playing = state.flag(Transport::playing);
    recording = state.flag(Transport::recording);
    cycle = state.flag(Transport::cycle);

    // The raw text: blanks are part of the display's format.
    if (const auto position = TimelinePosition::parse(time)) {
        const double v = position->value;
        const double length = span(position->unit);
        const double stride = step(position->unit);
        // The playhead sits a quarter of the window in, the window jumping one step at a time.
        const double start = stride * std::floor((std::min(v, farthestFollowed) - length * 0.25) / stride);
        unit = position->unit;
        windowStart = start >= 0 ? start : 0.0;
        windowEnd = windowStart + length;
        playhead = v;
        cycleRange = readCycleRange(state, position->unit);
    }

    for (int i = 0; i < 8; ++i) rows[static_cast<std::size_t>(i)] = readRow(state, i);
}

}  // namespace corvane
