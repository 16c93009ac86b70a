#include "platform/BoundedJSON.h"

#include "platform/PrintableText.h"

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

namespace corvane::BoundedJSON {

namespace {

using nlohmann::json;

// Room for the library's own words around a quote that could not be found to bound on its own.
constexpr std::size_t maxMessageCharacters = 2 * quotedCharacters + 100;

// The parser's message with its quote of the text, which can be as long as the text, bounded.
std::string parserMessage(std::string_view what, std::string_view token) {
    static constexpr std::string_view quote = "; last read: '";
    const std::size_t at = what.find(quote);
    if (at != std::string_view::npos) {
        const std::size_t start = at + quote.size();
        if (what.substr(start).starts_with(token)) {
            return std::string(what.substr(0, start)) + printableText(token) +
                   std::string(what.substr(start + token.size()));
        }
    }
    return printableText(what, maxMessageCharacters);
}

// Hands the lexer the text without the blanks (space, tab, line end) that follow a tab or line
// end. The lexer keeps every character since the last string or number for its error message and
// spells each control character out in eight: without this, a typo after 16 MiB of blank lines
// costs seconds and half a gigabyte. Outside strings a run of blanks reads as one; inside, the tab
// or line end is refused where it stands, and what follows never matters.
class SkippingBlankLines {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = char;

    SkippingBlankLines(const char* at, const char* end) : at_(at), end_(end) {}

    char operator*() const { return *at_; }
    SkippingBlankLines& operator++() {
        const auto c = static_cast<unsigned char>(*at_++);
        if (c <= '\r' && (c == '\n' || c == '\t' || c == '\r')) {
            while (at_ != end_ && (*at_ == ' ' || *at_ == '\n' || *at_ == '\t' || *at_ == '\r')) ++at_;
        }
        return *this;
    }
    bool operator==(const SkippingBlankLines& other) const { return at_ == other.at_; }

    const char* position() const { return at_; }

private:
    const char* at_;
    const char* end_;
};

// The lexer's message with its line and column counted again in the text where blanks were left
// out before the place: it counted `handed` characters as it was handed them, and more at the end.
std::string located(std::string message, std::string_view text, std::size_t handed) {
    SkippingBlankLines at(text.data(), text.data() + text.size());
    const SkippingBlankLines end(text.data() + text.size(), text.data() + text.size());
    const char* last = text.data();
    std::size_t counted = 0;
    for (; counted < handed && at != end; ++counted) {
        last = at.position();
        ++at;
    }
    const std::size_t offset = counted < handed
                                   ? text.size() + (handed - counted)
                                   : static_cast<std::size_t>(last - text.data()) + (counted > 0);
    if (offset == handed) return message;
    const std::string_view before = text.substr(0, offset);

    const std::size_t colon = message.find(": ");
    const std::size_t place = message.rfind(" at line ", colon);
    if (colon == std::string::npos || place == std::string::npos) return message;
    const std::size_t lineStart = before.rfind('\n');
    const auto line = static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n')) + 1;
    const std::size_t column = lineStart == std::string_view::npos ? offset : offset - lineStart - 1;
    return message.substr(0, place) + " at line " + std::to_string(line) + ", column " +
           std::to_string(column) + message.substr(colon);
}

// Empties the value's arrays and objects from the innermost out. The library's own teardown
// allocates a list of the children, which may fail just when memory ran out; this needs none,
// and recursing is safe because the nesting is bounded.
void takeApart(json& value) noexcept {
    if (auto* array = value.get_ptr<json::array_t*>()) {
        for (json& element : *array) takeApart(element);
        array->clear();
    } else if (auto* object = value.get_ptr<json::object_t*>()) {
        for (auto& member : *object) takeApart(member.second);
        object->clear();
    }
}

// Builds the document as the parser's own builder would, a later duplicate key winning, within
// the limits: it stops at the first value past one. Texts are moved out of the parser rather
// than copied.
class Builder {
public:
    Builder(json& document, std::string_view text, Limits limits)
        : document_(document), text_(text), limits_(limits) {
        open_.reserve(limits.maxDepth);
        members_.resize(limits.maxDepth);
    }

    bool null() { return add(nullptr); }
    bool boolean(bool value) { return add(value); }
    bool number_integer(json::number_integer_t value) { return add(value); }
    bool number_unsigned(json::number_unsigned_t value) { return add(value); }
    bool number_float(json::number_float_t value, const json::string_t&) { return add(value); }
    bool string(json::string_t& value) { return add(std::move(value)); }
    bool binary(json::binary_t& value) { return add(json::binary(std::move(value))); }
    bool key(json::string_t& key) {
        key_ = std::move(key);
        return true;
    }
    bool start_object(std::size_t) { return open(json::value_t::object); }
    bool start_array(std::size_t) { return open(json::value_t::array); }
    bool end_object() {
        auto& members = members_[open_.size() - 1];
        std::sort(members.begin(), members.end(), [](const Member& a, const Member& b) {
            const int order = a.key.compare(b.key);
            return order != 0 ? order < 0 : a.order > b.order;
        });
        auto& object = open_.back()->get_ref<json::object_t&>();
        for (Member& member : members) {
            // Of equal keys the last read comes first and is kept.
            if (!object.empty() && std::prev(object.end())->first == member.key) continue;
            object.emplace_hint(object.end(), std::move(member.key), std::move(member.value));
        }
        members.clear();
        open_.pop_back();
        return true;
    }
    bool end_array() {
        open_.pop_back();
        return true;
    }
    bool parse_error(std::size_t handed, const std::string& lastToken,
                     const nlohmann::detail::exception& error) {
        problem_ = located(parserMessage(error.what(), lastToken), text_, handed);
        return false;
    }

    const std::string& problem() const { return problem_; }

    // Takes apart what was built so far, the document and the members of objects still open.
    void dismantle() noexcept {
        for (auto& members : members_) {
            for (Member& member : members) takeApart(member.value);
        }
        takeApart(document_);
    }

private:
    struct Member {
        std::string key;
        json value;
        std::size_t order;
    };

    template <class Value>
    bool add(Value&& value) {
        if (++values_ > limits_.maxValues) {
            problem_ = "more than " + std::to_string(limits_.maxValues) + " values";
            return false;
        }
        if (open_.empty()) {
            document_ = json(std::forward<Value>(value));
            added_ = &document_;
        } else if (auto* array = open_.back()->get_ptr<json::array_t*>()) {
            added_ = &array->emplace_back(std::forward<Value>(value));
        } else {
            Member& member = members_[open_.size() - 1].emplace_back(
                Member{std::move(key_), json(std::forward<Value>(value)), values_});
            added_ = &member.value;
        }
        return true;
    }
    bool open(json::value_t type) {
        if (open_.size() == limits_.maxDepth) {
            problem_ = "nested deeper than " + std::to_string(limits_.maxDepth) + " levels";
            return false;
        }
        if (!add(type)) return false;
        open_.push_back(added_);
        return true;
    }

    json& document_;
    const std::string_view text_;
    const Limits limits_;
    std::vector<json*> open_;  // the arrays and objects being filled, innermost last
    // The members read so far of each open object, by depth. Sorted once the object is complete,
    // they fill its map in one sweep: placed one by one as read, keys in no order would each cost
    // a walk through a map larger than the cache.
    std::vector<std::vector<Member>> members_;
    std::string key_;  // the key of the member whose value comes next
    json* added_ = nullptr;
    std::size_t values_ = 0;
    std::string problem_;
};

// Counts what the array or object holds and the bytes its indenting adds, depth being the arrays
// and objects around it. Scalars are counted by the container, which finds them faster than a call
// for each would.
bool within(const json& container, std::size_t depth, Limits limits, unsigned indent, Measured& measured,
            std::size_t& values) {
    // Recursing is safe: the walk goes no deeper than the bound.
    if (depth == limits.maxDepth) {
        measured.refused = "nested deeper than " + std::to_string(limits.maxDepth) + " levels";
        return false;
    }
    const std::size_t size = container.size();
    values += size;
    if (values > limits.maxValues) {
        measured.refused = "more than " + std::to_string(limits.maxValues) + " values";
        return false;
    }
    if (size == 0) return true;
    // A line end after the opening bracket and after each element, each element indented one
    // step more than the closing bracket; in objects a space after each colon.
    const std::size_t step = indent;
    const auto deeper = [&](const json& value) {
        return !value.is_structured() || within(value, depth + 1, limits, indent, measured, values);
    };
    if (const auto* array = container.get_ptr<const json::array_t*>()) {
        measured.indentation += 1 + size * (step * (depth + 1) + 1) + step * depth;
        return std::all_of(array->begin(), array->end(), deeper);
    }
    measured.indentation += 1 + size * (step * (depth + 1) + 2) + step * depth;
    const auto& object = container.get_ref<const json::object_t&>();
    return std::all_of(object.begin(), object.end(),
                       [&](const auto& member) { return deeper(member.second); });
}

}  // namespace

Measured measure(const json& document, Limits limits, unsigned indent) {
    Measured measured;
    std::size_t values = 1;
    if (values > limits.maxValues) {
        measured.refused = "more than " + std::to_string(limits.maxValues) + " values";
    } else if (document.is_structured()) {
        within(document, 0, limits, indent, measured, values);
    }
    return measured;
}

std::variant<json, std::string> parse(std::string_view text, Limits limits) {
    json document;
    Builder builder(document, text, limits);
    const char* end = text.data() + text.size();
    try {
        if (json::sax_parse(SkippingBlankLines(text.data(), end), SkippingBlankLines(end, end), &builder)) {
            return document;
        }
    } catch (...) {
        builder.dismantle();
        throw;
    }
    builder.dismantle();
    return builder.problem();
}

}  // namespace corvane::BoundedJSON
