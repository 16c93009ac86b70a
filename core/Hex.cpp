#include "core/Hex.h"

namespace corvane::Hex {

namespace {
constexpr char digits[] = "0123456789ABCDEF";
}

std::string byte(std::uint8_t b) {
    return std::string{digits[b >> 4], digits[b & 0x0F]};
}

std::string bytes(std::span<const std::uint8_t> bytes) {
    std::string text;
    if (bytes.empty()) return text;
    text.reserve(bytes.size() * 3 - 1);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) text.push_back(' ');
        text.push_back(digits[bytes[i] >> 4]);
        text.push_back(digits[bytes[i] & 0x0F]);
    }
    return text;
}

}  // namespace corvane::Hex
