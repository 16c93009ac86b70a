#pragma once
// One parameter under its encoder: title, value text and value bar, lit while touched.

#include "PushDisplay/Canvas.h"
#include "PushDisplay/ParameterColumnModel.h"

namespace corvane::ParameterColumn {

// Draws into column index (0...7; anything else stops the program) from y = top to the bottom
// edge. Does not clear the column first.
void draw(Canvas& canvas, int index, double top, const ParameterColumnModel& model);

}  // namespace corvane::ParameterColumn
