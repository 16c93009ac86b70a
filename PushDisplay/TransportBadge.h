#pragma once
// Tempo, cycle, record and play state, right-aligned at the end of a line.

#include "PushDisplay/Canvas.h"
#include "core/RemoteState.h"

namespace corvane::TransportBadge {

// Draws the badge in the 18-pixel line starting at y, ending at x 946.
void draw(Canvas& canvas, const RemoteState& state, double y);

}  // namespace corvane::TransportBadge
