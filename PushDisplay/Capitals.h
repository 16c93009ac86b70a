#pragma once
// Button captions are set in capitals.

#include <string>
#include <string_view>

namespace corvane {

// The text with a...z raised to A...Z; every other byte, so any non-ASCII sign, unchanged.
std::string capitals(std::string_view text);

}  // namespace corvane
