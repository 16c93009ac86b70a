#pragma once
// The tracks overview: a transport header, a ruler, the eight bank channels as rows with a
// timeline lane each, and the playhead across them. Repaints the whole display every frame.

#include "PushDisplay/Canvas.h"
#include "PushDisplay/TracksScreenModel.h"

namespace corvane::TracksScreen {

inline constexpr const char* timelineHint =
    "Timeline needs Cubase's primary time display in Bars+Beats or Seconds";

// Rows the model lacks are drawn as empty bank slots.
void draw(Canvas& canvas, const TracksScreenModel& model);

}  // namespace corvane::TracksScreen
