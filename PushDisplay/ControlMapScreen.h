#pragma once
// The diagnostics tool's check page for the controls around the display: per column, whether
// its buttons are held, whether its encoder is touched, the encoder's value and last change.

#include "PushDisplay/Canvas.h"
#include "PushDisplay/ControlMapModel.h"

namespace corvane::ControlMapScreen {

void draw(Canvas& canvas, const ControlMapModel& model);

}  // namespace corvane::ControlMapScreen
