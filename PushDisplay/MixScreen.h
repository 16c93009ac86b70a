#pragma once
// The mixer page: the mix tabs above, eight channel strips of the current bank, and a row of
// per-channel buttons below.

#include <array>
#include <span>
#include <string_view>

#include "PushDisplay/Canvas.h"
#include "core/RemoteState.h"

namespace corvane::MixScreen {

// The upper-row tabs; tab i belongs to the button above column i.
inline constexpr std::array<std::string_view, 8> tabs{"VOLUME", "PAN",    "SEND 1", "SEND 2",
                                                      "SEND 3", "SEND 4", "SEND 5", "SEND 6"};

// Repaints the whole display. touched holds encoder i's touch flag at i; missing entries count as
// not touched, entries beyond the eighth are ignored.
void draw(Canvas& canvas, const RemoteState& state, std::span<const bool> touched);

}  // namespace corvane::MixScreen
