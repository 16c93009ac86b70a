#include "core/SetupState.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/Precondition.h"

namespace corvane {

namespace {

// Half away from zero, saturated so that no input converts out of range.
int roundedInt(double x) {
    constexpr double low = std::numeric_limits<int>::min();
    constexpr double high = std::numeric_limits<int>::max();
    return static_cast<int>(std::clamp(std::round(x), low, high));
}

}  // namespace

int SetupState::percent(int value, int maximum) {
    precondition(maximum > 0, "SetupState::percent needs a positive maximum");
    return roundedInt(static_cast<double>(value) * 100.0 / maximum);
}

int SetupState::stepped(std::optional<int> current, int maximum, int delta) {
    const std::int64_t p = current ? percent(*current, maximum) : 100;
    const std::int64_t q = std::clamp<std::int64_t>(p + delta, 10, 100);
    return roundedInt(static_cast<double>(maximum) * static_cast<double>(q) / 100.0);
}

}  // namespace corvane
