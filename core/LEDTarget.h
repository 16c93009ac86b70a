#pragma once
// A button LED on the Push, the values it can show, and the message that sets it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <variant>

#include "core/MIDIMessage.h"

namespace corvane {

// White-only buttons show a brightness.
namespace PushWhite {
inline constexpr std::uint8_t off = 0;
inline constexpr std::uint8_t dim = 16;
inline constexpr std::uint8_t bright = 127;
}  // namespace PushWhite

// Greys of the colour LEDs' palette, beside the colours of PushColor.
namespace PushRGB {
inline constexpr std::uint8_t lightGray = 123;
inline constexpr std::uint8_t darkGray = 124;  // a choice offered but not selected
}  // namespace PushRGB

struct LEDTarget {
    // Lit by a control change with this controller number.
    struct CC {
        std::uint8_t number;
        bool operator==(const CC&) const = default;
    };
    // Lit by a note-on with this note number.
    struct Note {
        std::uint8_t number;
        bool operator==(const Note&) const = default;
    };

    using Case = std::variant<CC, Note>;
    Case value;

    static constexpr LEDTarget cc(std::uint8_t number) { return {CC{number}}; }
    static constexpr LEDTarget note(std::uint8_t number) { return {Note{number}}; }

    template <class T>
    const T* as() const {
        return std::get_if<T>(&value);
    }
    template <class T>
    bool is() const {
        return std::holds_alternative<T>(value);
    }

    // The channel-0 message that sets this LED to value.
    MIDIMessage message(std::uint8_t value) const;

    bool operator==(const LEDTarget&) const = default;
    // Controllers before notes, each by ascending number, so walks over a plan are repeatable.
    constexpr bool operator<(const LEDTarget& other) const {
        if (value.index() != other.value.index()) return value.index() < other.value.index();
        return rawNumber() < other.rawNumber();
    }

private:
    constexpr std::uint8_t rawNumber() const {
        const auto* c = std::get_if<CC>(&value);
        return c ? c->number : std::get<Note>(value).number;
    }
};

// The value each LED should show.
using LEDValues = std::map<LEDTarget, std::uint8_t>;

}  // namespace corvane

template <>
struct std::hash<corvane::LEDTarget> {
    std::size_t operator()(const corvane::LEDTarget& t) const noexcept {
        const auto* c = t.as<corvane::LEDTarget::CC>();
        return c ? c->number : 128 + std::size_t{t.as<corvane::LEDTarget::Note>()->number};
    }
};
