#pragma once
// Checks for programming errors: a caller broke a rule that every caller in the system keeps.
// They stop the program in every build, with a message on standard error, rather than let it
// run on into undefined behaviour.

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace corvane {

[[noreturn]] inline void preconditionFailure(std::string_view message) {
    std::fprintf(stderr, "corvane: precondition failed: %.*s\n", static_cast<int>(message.size()),
                 message.data());
    std::fflush(stderr);
    std::abort();
}

inline void precondition(bool holds, std::string_view message) {
    if (!holds) preconditionFailure(message);
}

}  // namespace corvane
