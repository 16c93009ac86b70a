#include "corvane_diag/Arguments.h"

#include <algorithm>
#include <charconv>

namespace corvane {

namespace {

template <class T>
std::optional<T> parseDecimal(std::string_view text) {
    // from_chars takes a minus sign but not a plus sign.
    if (text.starts_with('+')) {
        text.remove_prefix(1);
        if (text.starts_with('-') || text.starts_with('+')) return std::nullopt;
    }
    T value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || ptr != end || text.empty()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<std::string> Arguments::option(std::string_view name) const {
    auto found = std::find(list_.begin(), list_.end(), name);
    if (found == list_.end() || std::next(found) == list_.end()) return std::nullopt;
    return *std::next(found);
}

bool Arguments::flag(std::string_view name) const {
    return std::find(list_.begin(), list_.end(), name) != list_.end();
}

std::optional<std::int64_t> Arguments::integer(std::string_view name) const {
    auto value = option(name);
    if (!value) return std::nullopt;
    return parseInteger(*value);
}

std::optional<double> Arguments::number(std::string_view name) const {
    auto value = option(name);
    if (!value) return std::nullopt;
    return parseNumber(*value);
}

std::optional<std::int64_t> parseInteger(std::string_view text) { return parseDecimal<std::int64_t>(text); }

std::optional<double> parseNumber(std::string_view text) { return parseDecimal<double>(text); }

}  // namespace corvane
