#include "core/UTF8.h"

#include <cstddef>
#include <cstdint>

namespace corvane {

namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";

// Length of the well-formed sequence at i, or 0 when it is ill-formed; then `subpart` is the
// length of its maximal subpart (at least 1), which one U+FFFD replaces.
std::size_t sequenceAt(std::string_view s, std::size_t i, std::size_t& subpart) {
    const auto at = [&](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
    const std::uint8_t lead = at(i);
    subpart = 1;
    if (lead < 0x80) return 1;

    std::size_t length;
    std::uint8_t low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // no overlong forms
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;  // a continuation byte, C0, C1 or F5-FF: never starts a sequence
    }

    for (std::size_t k = 1; k < length; ++k) {
        if (i + k >= s.size()) return 0;
        const std::uint8_t b = at(i + k);
        const bool fits = k == 1 ? (b >= low && b <= high) : (b >= 0x80 && b <= 0xBF);
        if (!fits) return 0;
        subpart = k + 1;
    }
    return length;
}

}  // namespace

bool isValidUTF8(std::string_view bytes) {
    std::size_t subpart = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        if (static_cast<std::uint8_t>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t length = sequenceAt(bytes, i, subpart);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

std::string validUTF8(std::string_view bytes) {
    if (isValidUTF8(bytes)) return std::string(bytes);
    std::string text;
    text.reserve(bytes.size() + 8);
    std::size_t subpart = 0;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = sequenceAt(bytes, i, subpart);
        if (length == 0) {
            text.append(replacement);
            i += subpart;
        } else {
            text.append(bytes.substr(i, length));
            i += length;
        }
    }
    return text;
}

}  // namespace corvane
