#pragma once
// Stops the program on a broken rule that every caller keeps, in every build, with a message.

#include <cstdio>
#include <cstdlib>

namespace corvane::detail {

[[noreturn]] inline void programmingError(const char* message) {
    std::fprintf(stderr, "corvane: programming error: %s\n", message);
    std::fflush(stderr);
    std::abort();
}

}  // namespace corvane::detail
