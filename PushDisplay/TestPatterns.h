#pragma once
// The fixed pictures the diagnostics tool sends to test the display link: colour bars with a
// grey ramp, and one stage of the refresh-rate sweep. Encoding and sending them is the caller's
// business; the pixel order only names itself in the captions.

#include <array>
#include <string>
#include <string_view>
#include <utility>

#include "PushDisplay/Canvas.h"
#include "PushDisplay/DisplayColor.h"
#include "PushDisplay/PixelOrder.h"

namespace corvane::TestPatterns {

inline constexpr std::array<std::pair<std::string_view, DisplayColor>, 8> colorBarNames{{
    {"RED", DisplayColor::hex(0xFF0000)},
    {"GREEN", DisplayColor::hex(0x00FF00)},
    {"BLUE", DisplayColor::hex(0x0000FF)},
    {"YELLOW", DisplayColor::hex(0xFFFF00)},
    {"CYAN", DisplayColor::hex(0x00FFFF)},
    {"MAGENTA", DisplayColor::hex(0xFF00FF)},
    {"WHITE", DisplayColor::hex(0xFFFFFF)},
    {"GREY 50%", DisplayColor::hex(0x808080)},
}};

// Eight labelled bars, a grey ramp from black at x 0 to white at x 959, the pixel order's name
// and a one-pixel white border.
void colorBars(Canvas& canvas, PixelOrder pixelOrder);

// Small bars on the left half; "STAGE stage / of", the frame rate and the pixel order on the
// right. stage and of are printed as given.
void sweepStage(Canvas& canvas, int stage, int of, double fps, PixelOrder pixelOrder);

// fps as "%g FPS" would print it in the C locale: "30 FPS", "7.5 FPS".
std::string fpsText(double fps);

}  // namespace corvane::TestPatterns
