#include "corvane_diag/TextFormat.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace corvane::TextFormat {

std::string fixed(double value, int decimals) {
    char text[400];
    auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    if (error != std::errc()) return "nan";
    return std::string(text, end);
}

std::string signedFixed(double value, int decimals) {
    std::string text = fixed(value, decimals);
    if (!text.starts_with('-')) text.insert(0, "+");
    return text;
}

std::string shortest(double value) {
    char text[64];
    auto [end, error] = std::to_chars(text, text + sizeof text, value);
    if (error != std::errc()) return "nan";
    std::string result(text, end);
    if (std::isfinite(value) && result.find_first_of(".e") == std::string::npos) result += ".0";
    return result;
}

std::string hex(std::int64_t value) {
    const bool negative = value < 0;
    const std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    char text[24];
    auto [end, error] = std::to_chars(text, text + sizeof text, magnitude, 16);
    (void)error;
    return (negative ? "-" : "") + std::string(text, end);
}

std::string rightAligned(std::int64_t value, int width) {
    std::string text = std::to_string(value);
    if (static_cast<int>(text.size()) < width)
        text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
    return text;
}

std::string hexByte(int value) {
    std::string text = hex(value);
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (text.size() < 2) text.insert(0, "0");
    return text;
}

std::string join(const std::vector<std::string>& items, const std::string& separator) {
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i) text += (i > 0 ? separator : "") + items[i];
    return text;
}

}  // namespace corvane::TextFormat
