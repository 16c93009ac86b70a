#pragma once
// The eight 120-pixel columns of the display, one above each encoder.

#include "PushDisplay/Geometry.h"

namespace corvane::Layout {

// Column i (0...7 from the left); any other i throws std::out_of_range.
Rect column(int i, double top, double height);

// The column under x, clamped to 0...7; a NaN gives 0.
int columnIndex(double x);

// The rectangle covering columns a and b and all between, in either order; both in 0...7,
// else std::out_of_range.
Rect span(int a, int b, double top, double height);

}  // namespace corvane::Layout
