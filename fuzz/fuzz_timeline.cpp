// Reads the input as a time display text and checks what any position must satisfy.

#include "core/TimelinePosition.h"
#include "fuzz/Check.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto position = TimelinePosition::parse(text);
    // Blanks and tabs around the text never change what it reads as.
    check(TimelinePosition::parse(" \t" + std::string(text) + "\t ") == position);
    if (!position) return 0;
    check(std::isfinite(position->value));
    const bool clock = text.find(':') != std::string_view::npos;
    check(position->unit == (clock ? TimelinePosition::Unit::seconds : TimelinePosition::Unit::beats));
    return 0;
}
