#include "PushDisplay/Layout.h"

#include <algorithm>
#include <cmath>

#include "PushDisplay/Theme.h"
#include "platform/Precondition.h"

namespace corvane::Layout {

namespace {

void requireColumn(int i) { precondition(i >= 0 && i < Theme::columns, "display column outside 0...7"); }

}  // namespace

Rect column(int i, double top, double height) {
    requireColumn(i);
    return {i * Theme::columnWidth, top, Theme::columnWidth, height};
}

int columnIndex(double x) {
    if (!(x > 0)) return 0;  // also NaN
    const double index = std::trunc(x / Theme::columnWidth);
    return static_cast<int>(std::min(index, double(Theme::columns - 1)));
}

Rect span(int a, int b, double top, double height) {
    requireColumn(a);
    requireColumn(b);
    const int first = std::min(a, b), last = std::max(a, b);
    return {first * Theme::columnWidth, top, (last - first + 1) * Theme::columnWidth, height};
}

}  // namespace corvane::Layout
