#pragma once
// The track page: the host's selected track with its state buttons, the transport badge and the
// eight parameters of the current slots under the encoders.

#include <span>
#include <vector>

#include "PushDisplay/ButtonLabel.h"
#include "PushDisplay/Canvas.h"
#include "core/RemoteState.h"

namespace corvane::TrackPageScreen {

// MUTE, SOLO, ARM, MONITOR, READ, WRITE, SETTINGS, INSTRUMENT, each lit by the selected track's flag.
std::vector<ButtonLabel> upperLabels(const RemoteState& state);

// Repaints the whole display. touched holds encoder i's touch flag at i; missing entries count as
// not touched, entries beyond the eighth are ignored.
void draw(Canvas& canvas, const RemoteState& state, std::span<const bool> touched);

}  // namespace corvane::TrackPageScreen
