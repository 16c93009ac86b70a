#include "core/PadEngine.h"

#include <algorithm>
#include <cstddef>

#include "platform/Precondition.h"

namespace corvane::PadEngine {

namespace {

constexpr int gridSize = 8;

int quadrant(int row, int column) { return (row >= 4 ? 2 : 0) + (column >= 4 ? 1 : 0); }

void checkRoot(const PadSettings& settings) {
    precondition(settings.root >= 0 && settings.root <= 11, "pad root outside 0...11");
}

// Semitones above the grid's origin of the scale degree at a position.
std::int64_t inKeyOffset(std::int64_t position, const PadSettings& settings) {
    const std::vector<int>& intervals = settings.scale().intervals;
    const auto n = static_cast<std::int64_t>(intervals.size());
    const std::int64_t octaves = position / n;
    const auto degree = static_cast<std::size_t>(position - octaves * n);
    if (!settings.fixed) return octaves * 12 + settings.root + intervals[degree];

    // Fixed: the scale's pitch classes in C-relative order, so the grid starts on the lowest
    // scale tone at or above C.
    std::vector<std::int64_t> pitchClasses;
    pitchClasses.reserve(intervals.size());
    for (int interval : intervals) pitchClasses.push_back((interval + settings.root) % 12);
    std::sort(pitchClasses.begin(), pitchClasses.end());
    return octaves * 12 + pitchClasses[degree];
}

}  // namespace

const std::vector<Scale>& scales() {
    static const std::vector<Scale> table{
        {"Major", {0, 2, 4, 5, 7, 9, 11}},
        {"Minor", {0, 2, 3, 5, 7, 8, 10}},
        {"Dorian", {0, 2, 3, 5, 7, 9, 10}},
        {"Mixolydian", {0, 2, 4, 5, 7, 9, 10}},
        {"Lydian", {0, 2, 4, 6, 7, 9, 11}},
        {"Phrygian", {0, 1, 3, 5, 7, 8, 10}},
        {"Locrian", {0, 1, 3, 5, 6, 8, 10}},
        {"Whole Tone", {0, 2, 4, 6, 8, 10}},
        {"Half-whole Dim.", {0, 1, 3, 4, 6, 7, 9, 10}},
        {"Whole-half Dim.", {0, 2, 3, 5, 6, 8, 9, 11}},
        {"Minor Blues", {0, 3, 5, 6, 7, 10}},
        {"Minor Pentatonic", {0, 3, 5, 7, 10}},
        {"Major Pentatonic", {0, 2, 4, 7, 9}},
        {"Harmonic Minor", {0, 2, 3, 5, 7, 8, 11}},
        {"Harmonic Major", {0, 2, 4, 5, 7, 8, 11}},
        {"Dorian #4", {0, 2, 3, 6, 7, 9, 10}},
        {"Phrygian Dominant", {0, 1, 4, 5, 7, 8, 10}},
        {"Melodic Minor", {0, 2, 3, 5, 7, 9, 11}},
        {"Lydian Augmented", {0, 2, 4, 6, 8, 9, 11}},
        {"Lydian Dominant", {0, 2, 4, 6, 7, 9, 10}},
        {"Super Locrian", {0, 1, 3, 4, 6, 8, 10}},
        {"8-Tone Spanish", {0, 1, 3, 4, 5, 6, 8, 10}},
        {"Bhairav", {0, 1, 4, 5, 7, 8, 11}},
        {"Hungarian Minor", {0, 2, 3, 6, 7, 8, 11}},
        {"Hirajoshi", {0, 2, 3, 7, 8}},
        {"In-Sen", {0, 1, 5, 7, 10}},
        {"Iwato", {0, 1, 5, 6, 10}},
        {"Kumoi", {0, 2, 3, 7, 9}},
        {"Pelog Selisir", {0, 1, 3, 7, 8}},
        {"Pelog Tembung", {0, 1, 5, 7, 8}},
        {"Messiaen 3", {0, 2, 3, 4, 6, 7, 8, 10, 11}},
        {"Messiaen 4", {0, 1, 2, 5, 6, 7, 8, 11}},
        {"Messiaen 5", {0, 1, 5, 6, 7, 11}},
        {"Messiaen 6", {0, 2, 4, 5, 6, 8, 10, 11}},
        {"Messiaen 7", {0, 1, 2, 3, 5, 6, 7, 8, 9, 11}},
    };
    return table;
}

std::optional<std::uint8_t> note(int row, int column, const PadSettings& settings) {
    if (row < 0 || row >= gridSize || column < 0 || column >= gridSize) return std::nullopt;

    std::int64_t result;
    if (settings.drums) {
        // Four blocks of 16 consecutive notes, rising by 4 per row; an octave is 16 notes here.
        const std::int64_t base = std::int64_t{settings.octave} * 16 + 36;
        result = base + quadrant(row, column) * 16 + (row % 4) * 4 + column % 4;
    } else {
        checkRoot(settings);
        const int step = interval(settings.layout, settings.inKey);
        const std::int64_t position = rotated(settings.layout) ? row + column * step : column + row * step;
        std::int64_t offset;
        if (settings.inKey) {
            offset = inKeyOffset(position, settings);
        } else {
            offset = settings.fixed ? position : position + settings.root;
        }
        result = std::int64_t{settings.octave} * 12 + 36 + offset;
    }
    if (result < 0 || result > 127) return std::nullopt;
    return static_cast<std::uint8_t>(result);
}

std::uint8_t color(int row, int column, const PadSettings& settings, const PadColors& colors) {
    const auto played = note(row, column, settings);
    if (!played) return PushColor::off;
    if (settings.drums) {
        const int q = quadrant(row, column);
        return q == 0 || q == 3 ? colors.root : colors.alternate;
    }
    const int pitchClass = static_cast<int>(((*played - settings.root) % 12 + 12) % 12);
    if (pitchClass == 0) return colors.root;
    const auto& intervals = settings.scale().intervals;
    if (std::find(intervals.begin(), intervals.end(), pitchClass) != intervals.end()) return colors.scale;
    return PushColor::off;
}

std::optional<NoteRange> range(const PadSettings& settings) {
    std::optional<NoteRange> found;
    for (int row = 0; row < gridSize; ++row) {
        for (int column = 0; column < gridSize; ++column) {
            const auto played = note(row, column, settings);
            if (!played) continue;
            if (!found) {
                found = NoteRange{*played, *played};
            } else {
                found->low = std::min<int>(found->low, *played);
                found->high = std::max<int>(found->high, *played);
            }
        }
    }
    return found;
}

std::optional<int> scaleIndex(std::string_view name) {
    const auto& table = scales();
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].name == name) return static_cast<int>(i);
    }
    return std::nullopt;
}

}  // namespace corvane::PadEngine
