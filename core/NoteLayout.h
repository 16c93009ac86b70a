#pragma once
// How the pad grid's rows and columns are spaced.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace corvane {

// An Up layout steps one unit per column and `interval` units per row; a Right layout swaps
// the roles of rows and columns.
enum class NoteLayout : std::uint8_t {
    fourthsUp = 0,
    fourthsRight = 1,
    thirdsUp = 2,
    thirdsRight = 3,
    sequentialUp = 4,
    sequentialRight = 5,
};

inline constexpr std::array<NoteLayout, 6> allNoteLayouts{
    NoteLayout::fourthsUp,    NoteLayout::fourthsRight,    NoteLayout::thirdsUp,
    NoteLayout::thirdsRight, NoteLayout::sequentialUp, NoteLayout::sequentialRight};

constexpr int rawValue(NoteLayout layout) { return static_cast<int>(layout); }

constexpr std::optional<NoteLayout> noteLayoutFromRaw(std::int64_t raw) {
    if (raw < 0 || raw > 5) return std::nullopt;
    return static_cast<NoteLayout>(raw);
}

constexpr std::string_view name(NoteLayout layout) {
    switch (layout) {
        case NoteLayout::fourthsUp: return "4ths ↑";
        case NoteLayout::fourthsRight: return "4ths →";
        case NoteLayout::thirdsUp: return "3rds ↑";
        case NoteLayout::thirdsRight: return "3rds →";
        case NoteLayout::sequentialUp: return "Sequent ↑";
        case NoteLayout::sequentialRight: return "Sequent →";
    }
    return "";
}

constexpr bool rotated(NoteLayout layout) { return rawValue(layout) % 2 == 1; }

// The row step: scale degrees in key, semitones chromatic.
constexpr int interval(NoteLayout layout, bool inKey) {
    switch (layout) {
        case NoteLayout::fourthsUp:
        case NoteLayout::fourthsRight: return inKey ? 3 : 5;
        case NoteLayout::thirdsUp:
        case NoteLayout::thirdsRight: return inKey ? 2 : 4;
        case NoteLayout::sequentialUp:
        case NoteLayout::sequentialRight: return 8;
    }
    return 8;
}

// The following layout, wrapping from the last to the first.
constexpr NoteLayout next(NoteLayout layout) { return static_cast<NoteLayout>((rawValue(layout) + 1) % 6); }

}  // namespace corvane
