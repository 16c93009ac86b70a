#include "core/PadPalette.h"

#include <algorithm>

namespace corvane::PadPalette {

std::optional<RGB> brightened(const RGB& rgb) {
    const int high = std::max({rgb.r, rgb.g, rgb.b});
    const int low = std::min({rgb.r, rgb.g, rgb.b});
    if (high == 0 || static_cast<double>(high - low) / high < 0.2) return std::nullopt;
    auto scaled = [high](std::uint8_t c) { return static_cast<std::uint8_t>((c * 255 + high / 2) / high); };
    return RGB{scaled(rgb.r), scaled(rgb.g), scaled(rgb.b)};
}

std::optional<std::vector<PushSysEx::PaletteEntry>> entries(const std::optional<RGB>& rgb) {
    if (!rgb) return std::nullopt;
    const auto bright = brightened(*rgb);
    if (!bright) return std::nullopt;
    auto dim = [](std::uint8_t b) { return (3 * b + 5) / 10; };
    return std::vector<PushSysEx::PaletteEntry>{
        {.index = rootSlot, .red = bright->r, .green = bright->g, .blue = bright->b, .white = 127},
        {.index = alternateSlot, .red = dim(bright->r), .green = dim(bright->g), .blue = dim(bright->b), .white = 32},
    };
}

}  // namespace corvane::PadPalette
