#pragma once
// The constants of the private protocol spoken with the Cubase script.

#include <array>
#include <cstdint>
#include <optional>

namespace corvane::BridgeProtocol {

// F0 opens a system-exclusive message; 7D is the manufacturer ID reserved for non-commercial
// use; 50 43 identify this protocol.
inline constexpr std::array<std::uint8_t, 4> header{0xF0, 0x7D, 0x50, 0x43};
inline constexpr std::uint8_t version = 1;

// The command byte of a frame.
enum class Command : std::uint8_t {
    // script -> bridge
    hello = 0x01,
    goodbye = 0x02,
    heartbeat = 0x03,
    setString = 0x10,
    setNumber = 0x11,
    setColor = 0x12,
    clearObject = 0x13,
    log = 0x1F,
    // bridge -> script
    bridgeHello = 0x41,
    requestResync = 0x42,
    pushStatus = 0x43,
};

// The command of a byte; nothing for a byte that names none.
constexpr std::optional<Command> commandFromRawValue(std::uint8_t raw) {
    switch (raw) {
    case 0x01: case 0x02: case 0x03: case 0x10: case 0x11: case 0x12: case 0x13: case 0x1F:
    case 0x41: case 0x42: case 0x43:
        return static_cast<Command>(raw);
    default:
        return std::nullopt;
    }
}

}  // namespace corvane::BridgeProtocol
