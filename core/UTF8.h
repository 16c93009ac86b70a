#pragma once
// Text from outside made into valid UTF-8.

#include <string>
#include <string_view>

namespace corvane {

// The bytes unchanged where they are valid UTF-8; each maximal subpart of an ill-formed
// sequence becomes one U+FFFD (the Unicode recommended practice, as browsers decode).
std::string validUTF8(std::string_view bytes);

// True when the bytes are valid UTF-8 as they stand.
bool isValidUTF8(std::string_view bytes);

}  // namespace corvane
