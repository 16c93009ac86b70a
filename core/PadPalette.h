#pragma once
// How the selected track's colour reaches the pads: two palette slots that the bridge
// rewrites with a brightened version of it.

#include <cstdint>
#include <optional>
#include <vector>

#include "core/PadColors.h"
#include "core/PushSysEx.h"
#include "core/StateKey.h"

namespace corvane::PadPalette {

inline constexpr std::uint8_t rootSlot = 94;
inline constexpr std::uint8_t alternateSlot = 95;

// Pad colours that show the track colour on root notes and drum blocks.
inline constexpr PadColors trackColors{.root = rootSlot, .alternate = alternateSlot, .scale = PushColor::white,
                                       .pressed = PushColor::green};

// The colour scaled so that its largest channel is 255; absent for black, grey and colours
// too close to grey to tell apart on the pads.
std::optional<RGB> brightened(const RGB& rgb);

// The root slot with the brightened colour and the alternate slot at about three tenths of it;
// absent when there is no usable colour.
std::optional<std::vector<PushSysEx::PaletteEntry>> entries(const std::optional<RGB>& rgb);

}  // namespace corvane::PadPalette
