#pragma once
// A property that fails stops the fuzz program, so libFuzzer keeps the input that broke it.

#include <cstdlib>

namespace corvane {

inline void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace corvane
