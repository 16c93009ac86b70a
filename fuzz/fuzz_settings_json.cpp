// Reads the input as a settings file: the bounded parse never crashes, refuses only what is too
// deep, holds too many values or is no JSON, says why in a short line, and otherwise gives the
// library's own document. The measure taken of a document before it is written agrees: it
// refuses just what the parse refuses, and knows how long the indented text is.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "fuzz/Check.h"
#include "platform/BoundedJSON.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const BoundedJSON::Limits limits{.maxDepth = 8, .maxValues = 64};
    const auto parsed = BoundedJSON::parse(text, limits);
    const nlohmann::json reference = nlohmann::json::parse(text, nullptr, false);
    if (const auto* document = std::get_if<nlohmann::json>(&parsed)) {
        check(!reference.is_discarded());
        check(*document == reference);
        const auto measured = BoundedJSON::measure(*document, limits, 2);
        check(!measured.refused);
        check(measured.indentation == document->dump(2).size() - document->dump().size());
        return 0;
    }
    const std::string& why = std::get<std::string>(parsed);
    check(!why.empty() && why.size() < 1000);
    check(why.find('\x1b') == std::string::npos);
    if (!reference.is_discarded()) {
        check(why.starts_with("nested deeper than") || why.starts_with("more than"));
        check(BoundedJSON::measure(reference, limits, 2).refused.has_value());
    }
    return 0;
}
