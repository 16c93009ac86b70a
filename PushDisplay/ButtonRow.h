#pragma once
// The strip of button labels along the top or bottom edge, one cell per column.

#include <span>

#include "PushDisplay/ButtonLabel.h"
#include "PushDisplay/Canvas.h"

namespace corvane::ButtonRow {

inline constexpr double height = 18.0;

// Draws the first eight labels (labels beyond the eighth are ignored) along the top edge when
// top is true, else along the bottom edge. Cells of missing or empty labels are left untouched.
void draw(Canvas& canvas, std::span<const ButtonLabel> labels, bool top);

}  // namespace corvane::ButtonRow
