#pragma once
// The display's palette and column metrics.

#include "PushDisplay/DisplayColor.h"

namespace corvane::Theme {

inline constexpr DisplayColor background = DisplayColor::hex(0x0B0D10);
inline constexpr DisplayColor panel = DisplayColor::hex(0x161A20);
inline constexpr DisplayColor divider = DisplayColor::hex(0x2A3039);
inline constexpr DisplayColor text = DisplayColor::hex(0xE8ECF1);
inline constexpr DisplayColor textDim = DisplayColor::hex(0x8A94A3);
inline constexpr DisplayColor textFaint = DisplayColor::hex(0x4A525E);
inline constexpr DisplayColor accent = DisplayColor::hex(0x3FA9F5);
inline constexpr DisplayColor accentDim = DisplayColor::hex(0x1D4C6E);
inline constexpr DisplayColor meter = DisplayColor::hex(0x4CD964);
inline constexpr DisplayColor meterHot = DisplayColor::hex(0xFF3B30);
inline constexpr DisplayColor mute = DisplayColor::hex(0xF5A623);
inline constexpr DisplayColor solo = DisplayColor::hex(0xF8E71C);
inline constexpr DisplayColor record = DisplayColor::hex(0xFF3B30);
inline constexpr DisplayColor ok = DisplayColor::hex(0x4CD964);
inline constexpr DisplayColor warn = DisplayColor::hex(0xF5A623);
inline constexpr DisplayColor error = DisplayColor::hex(0xFF3B30);

inline constexpr int columns = 8;
inline constexpr double columnWidth = 120.0;

}  // namespace corvane::Theme
