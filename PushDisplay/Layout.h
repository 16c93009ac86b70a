#pragma once
// The eight 120-pixel columns of the display, one above each encoder.

#include "PushDisplay/Geometry.h"

namespace corvane::Layout {

// Column i, 0...7 from the left.
Rect column(int i, double top, double height);

// The column under x, clamped to 0...7; a NaN gives 0.
int columnIndex(double x);

// The rectangle covering columns a and b (both 0...7) and all between, in either order.
Rect span(int a, int b, double top, double height);

}  // namespace corvane::Layout
