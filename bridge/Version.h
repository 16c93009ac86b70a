#pragma once
// The version this bridge reports to the script, on the command line and on the status screen.

#include <string_view>

namespace corvane {

inline constexpr std::string_view bridgeVersion = "0.4.3";

}  // namespace corvane
