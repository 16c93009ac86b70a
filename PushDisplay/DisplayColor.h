#pragma once
// A 24-bit colour of the display, always drawn opaque.

#include <cstddef>
#include <cstdint>
#include <functional>

namespace corvane {

struct DisplayColor {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;

    constexpr DisplayColor() = default;
    constexpr DisplayColor(std::uint8_t red, std::uint8_t green, std::uint8_t blue)
        : r(red), g(green), b(blue) {}

    // 0xRRGGBB; bits 31-24 are ignored.
    static constexpr DisplayColor hex(std::uint32_t value) {
        return DisplayColor(static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 8),
                            static_cast<std::uint8_t>(value));
    }

    // The blend from this colour (t = 0) to other (t = 1). t may lie outside 0...1: each channel
    // is rounded half away from zero and clamped to 0...255.
    DisplayColor mixed(DisplayColor other, double t) const;

    bool operator==(const DisplayColor&) const = default;
};

}  // namespace corvane

template <>
struct std::hash<corvane::DisplayColor> {
    std::size_t operator()(const corvane::DisplayColor& c) const noexcept {
        return std::hash<std::uint32_t>{}(std::uint32_t{c.r} << 16 | std::uint32_t{c.g} << 8 | c.b);
    }
};
