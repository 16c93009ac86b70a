#pragma once
// A text cut into the runs between separator characters.

#include <string_view>
#include <vector>

namespace corvane {

// The non-empty runs of `text` between any of the `separators`, in order; they view `text`.
std::vector<std::string_view> textPieces(std::string_view text, std::string_view separators);

}  // namespace corvane
