#pragma once
// Why a bridge-protocol frame was refused.

#include <cstdint>
#include <iosfwd>
#include <string>
#include <utility>
#include <variant>

namespace corvane {

struct ProtocolError {
    // The version byte found.
    struct VersionMismatch {
        std::uint8_t version;
        bool operator==(const VersionMismatch&) const = default;
    };
    // The command byte found.
    struct UnknownCommand {
        std::uint8_t command;
        bool operator==(const UnknownCommand&) const = default;
    };
    // A short reason: "too short", "missing key", "key not 7-bit", "string", "setNumber length",
    // "setColor", "clearObject", "log", "bridgeHello", "pushStatus".
    struct Malformed {
        std::string reason;
        bool operator==(const Malformed&) const = default;
    };
    // Not a frame of this protocol.
    struct NotOurs {
        bool operator==(const NotOurs&) const = default;
    };

    using Case = std::variant<VersionMismatch, UnknownCommand, Malformed, NotOurs>;
    Case value;

    static ProtocolError versionMismatch(std::uint8_t version) { return {VersionMismatch{version}}; }
    static ProtocolError unknownCommand(std::uint8_t command) { return {UnknownCommand{command}}; }
    static ProtocolError malformed(std::string reason) { return {Malformed{std::move(reason)}}; }
    static ProtocolError notOurs() { return {NotOurs{}}; }

    template <class T>
    const T* as() const {
        return std::get_if<T>(&value);
    }
    template <class T>
    bool is() const {
        return std::holds_alternative<T>(value);
    }

    // The form logged: versionMismatch(2), unknownCommand(65), malformed("too short"), notOurs.
    std::string description() const;

    bool operator==(const ProtocolError&) const = default;
};

void PrintTo(const ProtocolError& error, std::ostream* out);

}  // namespace corvane
