#pragma once
// Eight-bit data carried in seven-bit system-exclusive payloads.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/MIDIMessage.h"

namespace corvane::SevenBit {

// Groups of up to 7 bytes, each written as a lead byte holding the group's top bits (bit i for
// byte i) and then the bytes with their top bit cleared: n bytes give n + ceil(n / 7).
Bytes pack(std::span<const std::uint8_t> bytes);
void appendPacked(Bytes& out, std::span<const std::uint8_t> bytes);

// The reverse; nothing when any byte is 0x80 or above. The input may end anywhere.
std::optional<Bytes> unpack(std::span<const std::uint8_t> packed);

// Clamped to 0...16383; high seven bits first.
std::array<std::uint8_t, 2> encode14(std::int64_t value);
// Both bytes masked to seven bits.
constexpr std::int64_t decode14(std::uint8_t high, std::uint8_t low) {
    return std::int64_t{high & 0x7F} * 128 + (low & 0x7F);
}

// The text's UTF-8 bytes, packed; over maxBytes it is cut before the character that would not
// fit whole.
Bytes encodeString(std::string_view text, std::size_t maxBytes);
void appendString(Bytes& out, std::string_view text, std::size_t maxBytes);

// Unpacked and read as UTF-8, each invalid sequence replaced by U+FFFD; nothing only when
// unpacking fails.
std::optional<std::string> decodeString(std::span<const std::uint8_t> packed);

}  // namespace corvane::SevenBit
