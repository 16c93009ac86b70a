#pragma once
// Bytes as upper-case hexadecimal text, for log lines.

#include <cstdint>
#include <span>
#include <string>

namespace corvane::Hex {

// Two digits, high nibble first: 10 reads "0A", 247 reads "F7".
std::string byte(std::uint8_t b);

// Each byte as two digits, joined by one blank; no bytes give "".
std::string bytes(std::span<const std::uint8_t> bytes);

}  // namespace corvane::Hex
