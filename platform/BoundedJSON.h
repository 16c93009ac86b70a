#pragma once
// JSON text that anyone may have written, parsed within bounds: unchecked, a file of brackets or
// of countless tiny values costs gigabytes. The document is built in one pass, in time and memory
// in proportion to the text, and the pass stops at the first value past a bound. The library's
// parse callback is no way to check them: with one, closing each array or object costs time in
// proportion to its siblings.

#include <nlohmann/json.hpp>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace corvane::BoundedJSON {

struct Limits {
    std::size_t maxDepth = 0;   // levels of arrays and objects, the outermost one included
    std::size_t maxValues = 0;  // values of every kind and level, the outermost one included
};

// The document, or why the text is refused: "nested deeper than N levels", "more than N values"
// or the parser's own message, whose quote of the text is bounded and made printable, and whose
// line and column are the text's; blank lines before a typo cost the message nothing.
// Running out of memory throws std::bad_alloc, and what was built is freed without allocating.
std::variant<nlohmann::json, std::string> parse(std::string_view text, Limits limits);

// Why parse() would refuse any text of the document, in its words, and how much longer
// json::dump(indent) is than the compact json::dump(): one walk, stopping at the first value past
// a bound, that lets a writer see a text too long before building it.
struct Measured {
    std::optional<std::string> refused;
    std::size_t indentation = 0;
};
Measured measure(const nlohmann::json& document, Limits limits, unsigned indent);

}  // namespace corvane::BoundedJSON
