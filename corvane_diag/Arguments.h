#pragma once
// The arguments after the command name, and the options read from them. A value that does not
// convert counts as absent, so the caller's default applies.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

class Arguments {
public:
    Arguments() = default;
    explicit Arguments(std::vector<std::string> list) : list_(std::move(list)) {}

    const std::vector<std::string>& list() const { return list_; }

    // The element right after the first one equal to `name`, unchanged (it may itself look like
    // an option); absent when `name` is missing or last.
    std::optional<std::string> option(std::string_view name) const;
    // True when any element equals `name`.
    bool flag(std::string_view name) const;

    // A signed decimal integer: an optional sign, then digits, nothing else.
    std::optional<std::int64_t> integer(std::string_view name) const;
    // A decimal floating-point number, read without the locale.
    std::optional<double> number(std::string_view name) const;

private:
    std::vector<std::string> list_;
};

// The readers behind integer() and number(), for values that come from elsewhere.
std::optional<std::int64_t> parseInteger(std::string_view text);
std::optional<double> parseNumber(std::string_view text);

}  // namespace corvane
