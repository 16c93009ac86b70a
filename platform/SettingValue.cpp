#include "platform/SettingValue.h"

#include <cmath>
#include <limits>

namespace corvane::Settings {

std::optional<std::int64_t> integer(const std::optional<SettingValue>& value) {
    if (!value) return std::nullopt;
    if (auto b = std::get_if<bool>(&*value)) return *b ? 1 : 0;
    if (auto i = std::get_if<std::int64_t>(&*value)) return *i;
    if (auto d = std::get_if<double>(&*value)) {
        if (std::isnan(*d)) return std::nullopt;
        const double t = std::trunc(*d);
        // 2^63 is the first double past the range; every double below it converts exactly.
        if (t >= 9223372036854775808.0) return std::numeric_limits<std::int64_t>::max();
        if (t <= -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
        return static_cast<std::int64_t>(t);
    }
    return std::nullopt;
}

std::optional<bool> boolean(const std::optional<SettingValue>& value) {
    if (!value) return std::nullopt;
    if (auto b = std::get_if<bool>(&*value)) return *b;
    if (auto i = std::get_if<std::int64_t>(&*value)) return *i != 0;
    if (auto d = std::get_if<double>(&*value)) return *d != 0.0;
    return std::nullopt;
}

std::optional<std::string> text(const std::optional<SettingValue>& value) {
    if (!value) return std::nullopt;
    if (auto s = std::get_if<std::string>(&*value)) return *s;
    return std::nullopt;
}

}  // namespace corvane::Settings
