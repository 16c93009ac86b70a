#pragma once
// Frames of the bridge protocol: the script's messages and the bridge's, both ways. Pure
// functions; decoding never fails hard, every refusal is a ProtocolError.

#include <cstdint>
#include <span>

#include "core/BridgeMessage.h"
#include "core/Expected.h"
#include "core/HostMessage.h"
#include "core/MIDIMessage.h"
#include "core/ProtocolError.h"

namespace corvane::BridgeCodec {

// Strings longer than this many UTF-8 bytes are cut at a character boundary.
inline constexpr std::size_t maxStringBytes = 255;

// One complete frame. Never fails: numbers are clamped, strings cut.
Bytes encode(const HostMessage& message);
Bytes encode(const BridgeMessage& message);

// At least four bytes and they are the protocol header; nothing else is looked at.
bool isOurs(std::span<const std::uint8_t> bytes);

// The bridge's reader.
Expected<HostMessage, ProtocolError> decodeHostMessage(std::span<const std::uint8_t> bytes);
// The script side's reader.
Expected<BridgeMessage, ProtocolError> decodeBridgeMessage(std::span<const std::uint8_t> bytes);

}  // namespace corvane::BridgeCodec
