#pragma once
// Bytes from a file or from another program made safe to quote in a message: a terminal must
// never see an escape, a bell or a direction override that the bytes smuggled in, and a quote is
// kept short so that one bad value cannot fill a line, a log or a screen.

#include <cstddef>
#include <string>
#include <string_view>

namespace corvane {

// Characters of the escaped text a message quotes at most.
inline constexpr std::size_t quotedCharacters = 80;

// Control characters (0x00-0x1F, 0x7F and the C1 range U+0080-U+009F), invisible format
// characters (Unicode category Cf, such as U+200B, U+202E and U+FEFF), the line and paragraph
// separators U+2028 and U+2029, and bytes that are not part
// of valid UTF-8 become "\x" and two lower-case hex digits per byte; everything else stays. Past
// `maxCharacters` characters of that text (an escape counts as its four), the rest is left out
// and "…" ends the quote.
std::string printableText(std::string_view bytes, std::size_t maxCharacters = quotedCharacters);

}  // namespace corvane
