#pragma once
// The lower part of the device and track pages: a rule under the page's header, then the host's
// eight parameter slots, one per encoder column, with rules between the columns.

#include <span>

#include "PushDisplay/Canvas.h"
#include "core/RemoteState.h"

namespace corvane::SlotColumns {

// Whether encoder i is touched: touched holds its flag at i, a missing entry counts as not touched.
bool isTouched(std::span<const bool> touched, int i);

// Draws the rule at y 62 and the columns below it. touched as for isTouched; entries beyond the
// eighth are ignored.
void draw(Canvas& canvas, const RemoteState& state, std::span<const bool> touched);

}  // namespace corvane::SlotColumns
