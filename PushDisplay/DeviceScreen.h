#pragma once
// The device page: the mode buttons above, what the encoders control, the selected track and
// parameter bank, and eight parameter columns.

#include <span>
#include <vector>

#include "PushDisplay/ButtonLabel.h"
#include "PushDisplay/Canvas.h"
#include "core/RemoteState.h"

namespace corvane::DeviceScreen {

// INSTRUMENT, INSERTS, QUICK CTRL (the one of the device mode lit), then the slot arrows above
// columns 6 and 7 in the insert mode.
std::vector<ButtonLabel> upperLabels(const RemoteState& state);

// Repaints the whole display. touched holds encoder i's touch flag at i; missing entries count as
// not touched, entries beyond the eighth are ignored.
void draw(Canvas& canvas, const RemoteState& state, std::span<const bool> touched);

}  // namespace corvane::DeviceScreen
