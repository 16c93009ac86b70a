#pragma once
// The two small values that the bridge protocol and the host-state store share: a colour as
// the host sends it, and the key of one host value.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "core/Hex.h"
#include "platform/Precondition.h"

namespace corvane {

struct RGB {
    std::uint8_t r = 0, g = 0, b = 0;
    bool operator==(const RGB&) const = default;
};

// Which host object (0-127) and which property of it (0-127). On the wire: object, then field.
struct StateKey {
    std::uint8_t object;
    std::uint8_t field;

    // Both bytes must be below 128; every caller passes constants or masked values.
    constexpr StateKey(std::uint8_t object, std::uint8_t field) : object(object), field(field) {
        if (object >= 128) outOfRange("object", object);
        if (field >= 128) outOfRange("field", field);
    }

    // "02.0A" for object 2, field 10.
    std::string description() const { return Hex::byte(object) + "." + Hex::byte(field); }

    bool operator==(const StateKey&) const = default;
    auto operator<=>(const StateKey&) const = default;

private:
    [[noreturn]] static void outOfRange(const char* which, unsigned value) {
        preconditionFailure(std::string("StateKey ") + which + " must be below 128 (got " +
                            std::to_string(value) + ")");
    }
};

}  // namespace corvane

template <>
struct std::hash<corvane::RGB> {
    std::size_t operator()(const corvane::RGB& c) const noexcept {
        return (std::size_t{c.r} << 16) | (std::size_t{c.g} << 8) | c.b;
    }
};

template <>
struct std::hash<corvane::StateKey> {
    std::size_t operator()(const corvane::StateKey& k) const noexcept {
        return (std::size_t{k.object} << 8) | k.field;
    }
};
