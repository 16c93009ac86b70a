#include "platform/PrintableText.h"

#include <glib.h>

#include <algorithm>

namespace corvane {

namespace {

constexpr std::size_t escapeLength = 4;  // "\x1b"

void appendEscaped(std::string& text, std::string_view bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text += "\\x";
        text += digits[b >> 4];
        text += digits[b & 0xF];
    }
}

// Line and paragraph separators too: a log reader or terminal may break the line at them.
bool hidden(gunichar c) {
    if (c <= 0x9F) return true;
    const GUnicodeType type = g_unichar_type(c);
    return type == G_UNICODE_FORMAT || type == G_UNICODE_LINE_SEPARATOR ||
           type == G_UNICODE_PARAGRAPH_SEPARATOR;
}

}  // namespace

std::string printableText(std::string_view bytes, std::size_t maxCharacters) {
    std::string text;
    text.reserve(std::min(bytes.size(), maxCharacters) + 8);
    std::size_t characters = 0;
    // Stops at the first piece that would pass the bound, so a huge input costs only its start.
    const auto fits = [&](std::size_t more) {
        if (characters + more > maxCharacters) return false;
        characters += more;
        return true;
    };
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            const bool control = lead < 0x20 || lead == 0x7F;
            if (!fits(control ? escapeLength : 1)) break;
            if (control) {
                appendEscaped(text, bytes.substr(i, 1));
            } else {
                text += bytes[i];
            }
            ++i;
            continue;
        }
        const gunichar c = g_utf8_get_char_validated(bytes.data() + i, static_cast<gssize>(bytes.size() - i));
        if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) {
            if (!fits(escapeLength)) break;
            appendEscaped(text, bytes.substr(i, 1));
            ++i;
            continue;
        }
        const auto length = static_cast<std::size_t>(g_unichar_to_utf8(c, nullptr));
        if (hidden(c)) {
            if (!fits(escapeLength * length)) break;
            appendEscaped(text, bytes.substr(i, length));
        } else {
            if (!fits(1)) break;
            text.append(bytes.substr(i, length));
        }
        i += length;
    }
    if (i < bytes.size()) text += "…";
    return text;
}

}  // namespace corvane
