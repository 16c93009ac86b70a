#include "core/TextPieces.h"

namespace corvane {

std::vector<std::string_view> textPieces(std::string_view text, std::string_view separators) {
    std::vector<std::string_view> result;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find_first_of(separators, start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) result.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

}  // namespace corvane
