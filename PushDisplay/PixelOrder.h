#pragma once
// The two 16-bit pixel layouts the display may expect.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "PushDisplay/DisplayColor.h"

namespace corvane {

enum class PixelOrder {
    bgr565,  // bits 15-11 blue, 10-5 green, 4-0 red
    rgb565,  // bits 15-11 red, 10-5 green, 4-0 blue
};

inline constexpr std::array<PixelOrder, 2> allPixelOrders{PixelOrder::bgr565, PixelOrder::rgb565};

// "bgr565" or "rgb565", matched exactly.
std::optional<PixelOrder> pixelOrderFromRawValue(std::string_view text);
std::string_view rawValue(PixelOrder order);

// The low bits are dropped, never rounded.
constexpr std::uint16_t pack(PixelOrder order, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    const unsigned r5 = r >> 3, g6 = g >> 2, b5 = b >> 3;
    const unsigned high = order == PixelOrder::bgr565 ? b5 : r5;
    const unsigned low = order == PixelOrder::bgr565 ? r5 : b5;
    return static_cast<std::uint16_t>(high << 11 | g6 << 5 | low);
}

// Each field is widened by repeating its top bits.
constexpr DisplayColor unpack(PixelOrder order, std::uint16_t value) {
    const unsigned high = value >> 11 & 0x1F, g6 = value >> 5 & 0x3F, low = value & 0x1F;
    const unsigned r5 = order == PixelOrder::bgr565 ? low : high;
    const unsigned b5 = order == PixelOrder::bgr565 ? high : low;
    return DisplayColor(static_cast<std::uint8_t>(r5 << 3 | r5 >> 2),
                        static_cast<std::uint8_t>(g6 << 2 | g6 >> 4),
                        static_cast<std::uint8_t>(b5 << 3 | b5 >> 2));
}

}  // namespace corvane
