#pragma once
// What a Push 3 message means: one MIDI message in, one named control event out.

#include "core/MIDIMessage.h"
#include "core/PushInput.h"

#include <cstdint>
#include <optional>

namespace corvane::PushInputDecoder {

struct PadPosition {
    std::int64_t row;     // 0 is the bottom row
    std::int64_t column;  // 0 is the left column
    bool operator==(const PadPosition&) const = default;
};

PushInput decode(const MIDIMessage& message);

// An encoder value as a seven-bit two's-complement number: 1 is +1, 127 is -1, 64 is -64.
constexpr std::int64_t relativeDelta(std::uint8_t value) {
    const std::int64_t v = value & 0x7F;
    return (v & 0x40) != 0 ? v - 128 : v;
}

// The pad a note belongs to; none outside notes 36...99.
constexpr std::optional<PadPosition> padPosition(unsigned note) {
    if (note < 36 || note > 99) return std::nullopt;
    return PadPosition{(note - 36) / 8, (note - 36) % 8};
}

// Callers pass 0-7 for both.
constexpr std::uint8_t padNote(std::int64_t row, std::int64_t column) {
    return static_cast<std::uint8_t>(36 + 8 * row + column);
}

}  // namespace corvane::PushInputDecoder
