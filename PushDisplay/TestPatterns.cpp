#include "PushDisplay/TestPatterns.h"

#include <charconv>
#include <cmath>

namespace corvane::TestPatterns {

namespace {

constexpr DisplayColor black{0, 0, 0};
constexpr DisplayColor white{255, 255, 255};

}  // namespace

void colorBars(Canvas& canvas, PixelOrder pixelOrder) {
    canvas.fill({0, 0, 960, 160}, black);
    const Font label = canvas.font(15, FontWeight::bold);
    for (int k = 0; k < 8; ++k) {
        const auto& [name, color] = colorBarNames[static_cast<std::size_t>(k)];
        canvas.fill({120.0 * k + 4, 4, 112, 96}, color);
        canvas.text(name, {120.0 * k, 104, 120, 20}, label, white, TextAlign::center);
    }
    // Grey v = x * 255 / 959 at column x, filled one run of equal grey at a time.
    for (int x = 0; x < 960;) {
        const int v = x * 255 / 959;
        int end = x + 1;
        while (end < 960 && end * 255 / 959 == v) ++end;
        const auto grey = static_cast<std::uint8_t>(v);
        canvas.fill({static_cast<double>(x), 130, static_cast<double>(end - x), 12}, DisplayColor(grey, grey, grey));
        x = end;
    }
    canvas.text("pixel order under test: " + std::string(rawValue(pixelOrder)), {8, 144, 600, 16}, canvas.font(12),
                DisplayColor::hex(0xC8C8C8), TextAlign::left);
    canvas.fill({0, 0, 960, 1}, white);
    canvas.fill({0, 159, 960, 1}, white);
    canvas.fill({0, 0, 1, 160}, white);
    canvas.fill({959, 0, 1, 160}, white);
}

void sweepStage(Canvas& canvas, int stage, int of, double fps, PixelOrder pixelOrder) {
    canvas.fill({0, 0, 960, 160}, black);
    const Font label = canvas.font(11, FontWeight::bold);
    for (int k = 0; k < 8; ++k) {
        const auto& [name, color] = colorBarNames[static_cast<std::size_t>(k)];
        canvas.fill({60.0 * k + 3, 6, 54, 118}, color);
        canvas.text(name, {60.0 * k, 130, 60, 18}, label, white, TextAlign::center);
    }
    canvas.text("STAGE " + std::to_string(stage) + " / " + std::to_string(of), {500, 14, 460, 40},
                canvas.font(30, FontWeight::bold), DisplayColor::hex(0xFFC800), TextAlign::center);
    canvas.text(fpsText(fps), {500, 60, 460, 60}, canvas.font(52, FontWeight::bold, true), white,
                TextAlign::center);
    canvas.text("order: " + std::string(rawValue(pixelOrder)), {500, 128, 460, 20}, canvas.font(13),
                DisplayColor::hex(0xA0A0A0), TextAlign::center);
}

std::string fpsText(double fps) {
    char buffer[64];
    // "%g" is six significant digits in the shortest form; to_chars does it without the locale.
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, fps, std::chars_format::general, 6);
    return std::string(buffer, result.ptr) + " FPS";
}

}  // namespace corvane::TestPatterns
