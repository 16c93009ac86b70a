#include "platform/Clock.h"

#include <chrono>

namespace corvane::MonotonicClock {

std::uint64_t nanoseconds() {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(since).count());
}

double seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace corvane::MonotonicClock
