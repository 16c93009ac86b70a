#include "core/Tempo.h"

#include <charconv>
#include <system_error>

namespace corvane::Tempo {

std::optional<double> bpm(std::optional<std::string_view> text) {
    if (!text) return std::nullopt;
    const std::size_t length = text->find_first_not_of("0123456789.");
    const std::string_view run = text->substr(0, length);
    if (run.empty()) return std::nullopt;

    double value = 0;
    const auto [end, error] = std::from_chars(run.data(), run.data() + run.size(), value, std::chars_format::fixed);
    // A second point leaves part of the run unread: "1.2.3" is no number.
    if (error != std::errc{} || end != run.data() + run.size()) return std::nullopt;
    if (value < 20 || value > 999) return std::nullopt;
    return value;
}

}  // namespace corvane::Tempo
