#include "platform/PrintableText.h"

#include <glib.h>

namespace corvane {

namespace {

void appendEscaped(std::string& text, std::string_view bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text += "\\x";
        text += digits[b >> 4];
        text += digits[b & 0xF];
    }
}

}  // namespace

std::string printableText(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            if (lead < 0x20 || lead == 0x7F) {
                appendEscaped(text, bytes.substr(i, 1));
            } else {
                text += bytes[i];
            }
            ++i;
            continue;
        }
        const gunichar c = g_utf8_get_char_validated(bytes.data() + i, static_cast<gssize>(bytes.size() - i));
        if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) {
            appendEscaped(text, bytes.substr(i, 1));
            ++i;
            continue;
        }
        const auto length = static_cast<std::size_t>(g_unichar_to_utf8(c, nullptr));
        if (c <= 0x9F) {
            appendEscaped(text, bytes.substr(i, length));
        } else {
            text.append(bytes.substr(i, length));
        }
        i += length;
    }
    return text;
}

}  // namespace corvane
