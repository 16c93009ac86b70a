#pragma once
// One host value as the state store holds it.

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

#include "core/StateKey.h"

namespace corvane {

struct StateValue {
    struct String {
        std::string text;
        bool operator==(const String&) const = default;
    };
    // Everything the script sends fits 0...16383; continuous quantities use the full range,
    // 16383 meaning 1.0; flags are 0 and non-zero.
    struct Number {
        std::int64_t value;
        bool operator==(const Number&) const = default;
    };
    struct Color {
        RGB color;
        bool operator==(const Color&) const = default;
    };

    using Case = std::variant<String, Number, Color>;
    Case value;

    static StateValue string(std::string text) { return {String{std::move(text)}}; }
    static StateValue number(std::int64_t value) { return {Number{value}}; }
    static StateValue color(RGB color) { return {Color{color}}; }

    template <class T>
    const T* as() const {
        return std::get_if<T>(&value);
    }
    template <class T>
    bool is() const {
        return std::holds_alternative<T>(value);
    }

    bool operator==(const StateValue&) const = default;
};

}  // namespace corvane
