#pragma once
// Push palette indexes that the pads show.

#include <cstdint>

namespace corvane {

namespace PushColor {
inline constexpr std::uint8_t off = 0;
inline constexpr std::uint8_t white = 122;
inline constexpr std::uint8_t blue = 125;
inline constexpr std::uint8_t green = 126;
inline constexpr std::uint8_t red = 127;
}  // namespace PushColor

struct PadColors {
    std::uint8_t root = PushColor::blue;
    std::uint8_t alternate = PushColor::white;  // the second colour of the drum blocks
    std::uint8_t scale = PushColor::white;
    std::uint8_t pressed = PushColor::green;

    static const PadColors standard;

    bool operator==(const PadColors&) const = default;
};

inline constexpr PadColors PadColors::standard{};

}  // namespace corvane
