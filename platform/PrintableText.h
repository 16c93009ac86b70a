#pragma once
// Bytes from a file made safe to quote in a message: a terminal must never see an escape or a
// bell that a file smuggled in.

#include <string>
#include <string_view>

namespace corvane {

// Control characters (0x00-0x1F, 0x7F and the C1 range U+0080-U+009F) and bytes that are not part
// of valid UTF-8 become "\x" and two lower-case hex digits per byte; everything else stays.
std::string printableText(std::string_view bytes);

}  // namespace corvane
