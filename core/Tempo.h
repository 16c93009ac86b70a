#pragma once
// The host's tempo text as a number, so that note repeat can follow the host tempo.

#include <optional>
#include <string_view>

namespace corvane::Tempo {

// The leading decimal number of the text ("120.00", "96 BPM"); absent unless it reads as one
// number between 20 and 999.
std::optional<double> bpm(std::optional<std::string_view> text);

}  // namespace corvane::Tempo
