#pragma once
// What the Cubase script tells the bridge.

#include <cstdint>
#include <iosfwd>
#include <string>
#include <utility>
#include <variant>

#include "core/StateKey.h"

namespace corvane {

struct HostMessage {
    struct Hello {
        std::string scriptVersion;
        bool operator==(const Hello&) const = default;
    };
    struct SetString {
        StateKey key;
        std::string text;
        bool operator==(const SetString&) const = default;
    };
    // 0...16383 on the wire.
    struct SetNumber {
        StateKey key;
        std::int64_t value;
        bool operator==(const SetNumber&) const = default;
    };
    struct SetColor {
        StateKey key;
        RGB color;
        bool operator==(const SetColor&) const = default;
    };
    // Drops every key of one object.
    struct ClearObject {
        std::uint8_t object;
        bool operator==(const ClearObject&) const = default;
    };
    // A line for the bridge's log.
    struct Log {
        std::uint8_t level;
        std::string text;
        bool operator==(const Log&) const = default;
    };
    struct Goodbye {
        bool operator==(const Goodbye&) const = default;
    };
    struct Heartbeat {
        bool operator==(const Heartbeat&) const = default;
    };

    using Case = std::variant<Hello, SetString, SetNumber, SetColor, ClearObject, Log, Goodbye, Heartbeat>;
    Case value;

    static HostMessage hello(std::string scriptVersion) { return {Hello{std::move(scriptVersion)}}; }
    static HostMessage setString(StateKey key, std::string text) { return {SetString{key, std::move(text)}}; }
    static HostMessage setNumber(StateKey key, std::int64_t value) { return {SetNumber{key, value}}; }
    static HostMessage setColor(StateKey key, RGB color) { return {SetColor{key, color}}; }
    static HostMessage clearObject(std::uint8_t object) { return {ClearObject{object}}; }
    static HostMessage log(std::uint8_t level, std::string text) { return {Log{level, std::move(text)}}; }
    static HostMessage goodbye() { return {Goodbye{}}; }
    static HostMessage heartbeat() { return {Heartbeat{}}; }

    template <class T>
    const T* as() const {
        return std::get_if<T>(&value);
    }
    template <class T>
    bool is() const {
        return std::holds_alternative<T>(value);
    }

    bool operator==(const HostMessage&) const = default;
};

// Readable form for test failures and debugging, e.g. setNumber(02.02, 1000).
std::string describe(const HostMessage& message);
void PrintTo(const HostMessage& message, std::ostream* out);

}  // namespace corvane
