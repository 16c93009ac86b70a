#pragma once
// The pad instrument's pure model: the scale table, pad to note, pad colours and the grid's
// note range. Pads are addressed by row and column, each 0-7; row 0 holds pad notes 36-43.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "core/PadColors.h"
#include "core/PadSettings.h"
#include "core/Scale.h"

namespace corvane::PadEngine {

// The 35 scales, in the order the scale page offers them.
const std::vector<Scale>& scales();

// The scale list of earlier versions; only old stored settings refer to it.
inline constexpr std::array<std::string_view, 14> legacyScaleNames{
    "Major",          "Minor",          "Dorian",           "Mixolydian",       "Lydian",
    "Phrygian",       "Locrian",        "Harmonic Minor",   "Melodic Minor",    "Major Pentatonic",
    "Minor Pentatonic", "Minor Blues",  "Whole Tone",       "Chromatic"};

// The scale page's root buttons, two rows in circle-of-fifths order.
inline constexpr std::array<int, 6> upperRoots{0, 7, 2, 9, 4, 11};
inline constexpr std::array<std::string_view, 6> upperRootNames{"C", "G", "D", "A", "E", "B"};
inline constexpr std::array<int, 6> lowerRoots{5, 10, 3, 8, 1, 6};
inline constexpr std::array<std::string_view, 6> lowerRootNames{"F", "B♭", "E♭", "A♭", "D♭", "G♭"};

struct NoteRange {
    int low, high;
    bool operator==(const NoteRange&) const = default;
};

// The MIDI note a pad plays; absent when it falls outside 0...127 or the pad is off the grid.
std::optional<std::uint8_t> note(int row, int column, const PadSettings& settings);

// The palette index a pad shows when not pressed.
std::uint8_t color(int row, int column, const PadSettings& settings, const PadColors& colors);

// The lowest and highest note of the 64 pads; absent when no pad has a note.
std::optional<NoteRange> range(const PadSettings& settings);

// The first scale with exactly this name.
std::optional<int> scaleIndex(std::string_view name);

}  // namespace corvane::PadEngine
