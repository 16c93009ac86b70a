#pragma once
// Monotonic time since an arbitrary start (boot), never wall-clock time.

#include <cstdint>

namespace corvane::MonotonicClock {

std::uint64_t nanoseconds();
double seconds();

}  // namespace corvane::MonotonicClock
