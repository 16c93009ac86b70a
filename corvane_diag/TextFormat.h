#pragma once
// Number formatting for printed lines, never through the locale, and the joining of their pieces.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::TextFormat {

// `decimals` digits after the point, rounded ("%.Nf").
std::string fixed(double value, int decimals);
// As fixed, with "+" in front of values that are not negative ("%+.Nf").
std::string signedFixed(double value, int decimals);
// The shortest decimal form that reads back as the same value, with ".0" added to whole
// numbers: 30 prints "30.0", 0.1 prints "0.1".
std::string shortest(double value);
// Lower-case hexadecimal without leading zeros; a negative value gets a minus sign.
std::string hex(std::int64_t value);
// Right-aligned in `width` characters ("%Nd").
std::string rightAligned(std::int64_t value, int width);
// At least two upper-case hexadecimal digits ("%02X").
std::string hexByte(int value);
// The items with `separator` between each two.
std::string join(const std::vector<std::string>& items, const std::string& separator);

}  // namespace corvane::TextFormat
