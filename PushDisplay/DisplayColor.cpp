#include "PushDisplay/DisplayColor.h"

#include <algorithm>
#include <cmath>

namespace corvane {

namespace {

std::uint8_t blend(std::uint8_t self, std::uint8_t other, double t) {
    const double v = std::round(t * other + (1.0 - t) * self);
    if (!(v >= 0.0)) return 0;  // also catches NaN
    return static_cast<std::uint8_t>(std::min(v, 255.0));
}

}  // namespace

DisplayColor DisplayColor::mixed(DisplayColor other, double t) const {
    return DisplayColor(blend(r, other.r, t), blend(g, other.g, t), blend(b, other.b, t));
}

}  // namespace corvane
