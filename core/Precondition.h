#pragma once
// Checks of a caller's promises that hold in every build. A broken promise is a programming
// error: the program stops at once with a line on standard error naming it.

#include <cstdio>
#include <cstdlib>

namespace corvane {

[[noreturn]] inline void preconditionFailure(const char* what, long long value) noexcept {
    std::fprintf(stderr, "corvane: precondition failed: %s (got %lld)\n", what, value);
    std::fflush(stderr);
    std::abort();
}

// Usable in constant expressions: a failing check there is a compile error.
constexpr void precondition(bool holds, const char* what, long long value) noexcept {
    if (!holds) preconditionFailure(what, value);
}

}  // namespace corvane
