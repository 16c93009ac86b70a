#include "core/BridgeCodec.h"

#include <algorithm>
#include <optional>

#include "core/BridgeProtocol.h"
#include "core/Overloaded.h"
#include "core/SevenBit.h"

namespace corvane::BridgeCodec {

namespace {

using BridgeProtocol::Command;
using Payload = std::span<const std::uint8_t>;

// Opens a frame for the command; the payload is appended, then `close`.
Bytes open(Command command, std::size_t payloadSize) {
    Bytes out;
    out.reserve(BridgeProtocol::header.size() + 3 + payloadSize);
    out.assign(BridgeProtocol::header.begin(), BridgeProtocol::header.end());
    out.push_back(BridgeProtocol::version);
    out.push_back(static_cast<std::uint8_t>(command));
    return out;
}

Bytes close(Bytes out) {
    out.push_back(0xF7);
    return out;
}

// A string's packed size is at most its length plus a seventh, rounded up.
std::size_t packedBound(std::size_t textSize) {
    const std::size_t n = std::min(textSize, maxStringBytes);
    return n + (n + 6) / 7;
}

Bytes frameWithString(Command command, std::initializer_list<std::uint8_t> prefix, const std::string& text) {
    Bytes out = open(command, prefix.size() + packedBound(text.size()));
    out.insert(out.end(), prefix);
    SevenBit::appendString(out, text, maxStringBytes);
    return close(std::move(out));
}

struct Frame {
    std::uint8_t command;
    Payload payload;
};

Expected<Frame, ProtocolError> unframe(Payload bytes) {
    if (bytes.size() < BridgeProtocol::header.size() ||
        !std::equal(BridgeProtocol::header.begin(), BridgeProtocol::header.end(), bytes.begin()) ||
        bytes.back() != 0xF7) {
        return Unexpected(ProtocolError::notOurs());
    }
    if (bytes.size() < 7) return Unexpected(ProtocolError::malformed("too short"));
    if (bytes[4] != BridgeProtocol::version) return Unexpected(ProtocolError::versionMismatch(bytes[4]));
    return Frame{bytes[5], bytes.subspan(6, bytes.size() - 7)};
}

struct Keyed {
    StateKey key;
    Payload rest;
};

Expected<Keyed, ProtocolError> key(Payload payload) {
    if (payload.size() < 2) return Unexpected(ProtocolError::malformed("missing key"));
    if (payload[0] >= 0x80 || payload[1] >= 0x80) return Unexpected(ProtocolError::malformed("key not 7-bit"));
    return Keyed{StateKey(payload[0], payload[1]), payload.subspan(2)};
}

}  // namespace

Bytes encode(const HostMessage& message) {
    using M = HostMessage;
    return std::visit(
        Overloaded{
            [](const M::Hello& m) { return frameWithString(Command::hello, {}, m.scriptVersion); },
            [](const M::SetString& m) {
                return frameWithString(Command::setString, {m.key.object, m.key.field}, m.text);
            },
            [](const M::SetNumber& m) {
                const auto value = SevenBit::encode14(m.value);
                Bytes out = open(Command::setNumber, 4);
                out.insert(out.end(), {m.key.object, m.key.field, value[0], value[1]});
                return close(std::move(out));
            },
            [](const M::SetColor& m) {
                const std::uint8_t rgb[3] = {m.color.r, m.color.g, m.color.b};
                Bytes out = open(Command::setColor, 6);
                out.insert(out.end(), {m.key.object, m.key.field});
                SevenBit::appendPacked(out, rgb);
                return close(std::move(out));
            },
            [](const M::ClearObject& m) {
                Bytes out = open(Command::clearObject, 1);
                out.push_back(m.object & 0x7F);
                return close(std::move(out));
            },
            [](const M::Log& m) {
                return frameWithString(Command::log, {static_cast<std::uint8_t>(m.level & 0x7F)}, m.text);
            },
            [](const M::Goodbye&) { return close(open(Command::goodbye, 0)); },
            [](const M::Heartbeat&) { return close(open(Command::heartbeat, 0)); },
        },
        message.value);
}

Bytes encode(const BridgeMessage& message) {
    using M = BridgeMessage;
    return std::visit(
        Overloaded{
            [](const M::BridgeHello& m) {
                return frameWithString(Command::bridgeHello, {std::uint8_t{m.pushConnected}}, m.bridgeVersion);
            },
            [](const M::PushStatus& m) {
                Bytes out = open(Command::pushStatus, 1);
                out.push_back(m.connected ? 1 : 0);
                return close(std::move(out));
            },
            [](const M::RequestResync&) { return close(open(Command::requestResync, 0)); },
        },
        message.value);
}

bool isOurs(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= BridgeProtocol::header.size() &&
           std::equal(BridgeProtocol::header.begin(), BridgeProtocol::header.end(), bytes.begin());
}

Expected<HostMessage, ProtocolError> decodeHostMessage(std::span<const std::uint8_t> bytes) {
    const auto frame = unframe(bytes);
    if (!frame) return Unexpected(frame.error());
    const Payload payload = frame->payload;
    const auto string = [](Payload packed) -> Expected<std::string, ProtocolError> {
        auto text = SevenBit::decodeString(packed);
        if (!text) return Unexpected(ProtocolError::malformed("string"));
        return std::move(*text);
    };

    const auto command = BridgeProtocol::commandFromRawValue(frame->command);
    if (!command) return Unexpected(ProtocolError::unknownCommand(frame->command));
    switch (*command) {
    case Command::hello: {
        auto text = string(payload);
        if (!text) return Unexpected(text.error());
        return HostMessage::hello(std::move(*text));
    }
    case Command::goodbye:
        return HostMessage::goodbye();
    case Command::heartbeat:
        return HostMessage::heartbeat();
    case Command::setString: {
        const auto keyed = key(payload);
        if (!keyed) return Unexpected(keyed.error());
        auto text = string(keyed->rest);
        if (!text) return Unexpected(text.error());
        return HostMessage::setString(keyed->key, std::move(*text));
    }
    case Command::setNumber: {
        const auto keyed = key(payload);
        if (!keyed) return Unexpected(keyed.error());
        if (keyed->rest.size() != 2) return Unexpected(ProtocolError::malformed("setNumber length"));
        return HostMessage::setNumber(keyed->key, SevenBit::decode14(keyed->rest[0], keyed->rest[1]));
    }
    case Command::setColor: {
        const auto keyed = key(payload);
        if (!keyed) return Unexpected(keyed.error());
        const auto rgb = SevenBit::unpack(keyed->rest);
        if (!rgb || rgb->size() != 3) return Unexpected(ProtocolError::malformed("setColor"));
        return HostMessage::setColor(keyed->key, RGB{(*rgb)[0], (*rgb)[1], (*rgb)[2]});
    }
    case Command::clearObject:
        if (payload.size() != 1) return Unexpected(ProtocolError::malformed("clearObject"));
        return HostMessage::clearObject(payload[0]);
    case Command::log: {
        if (payload.empty()) return Unexpected(ProtocolError::malformed("log"));
        auto text = string(payload.subspan(1));
        if (!text) return Unexpected(text.error());
        return HostMessage::log(payload[0], std::move(*text));
    }
    case Command::bridgeHello:
    case Command::requestResync:
    case Command::pushStatus:
        break;  // the bridge's own commands never come from the script
    }
    return Unexpected(ProtocolError::unknownCommand(frame->command));
}

Expected<BridgeMessage, ProtocolError> decodeBridgeMessage(std::span<const std::uint8_t> bytes) {
    const auto frame = unframe(bytes);
    if (!frame) return Unexpected(frame.error());
    const Payload payload = frame->payload;

    const auto command = BridgeProtocol::commandFromRawValue(frame->command);
    if (!command) return Unexpected(ProtocolError::unknownCommand(frame->command));
    switch (*command) {
    case Command::bridgeHello: {
        if (payload.empty()) return Unexpected(ProtocolError::malformed("bridgeHello"));
        auto text = SevenBit::decodeString(payload.subspan(1));
        if (!text) return Unexpected(ProtocolError::malformed("string"));
        return BridgeMessage::bridgeHello(std::move(*text), payload[0] != 0);
    }
    case Command::requestResync:
        return BridgeMessage::requestResync();
    case Command::pushStatus:
        if (payload.empty()) return Unexpected(ProtocolError::malformed("pushStatus"));
        return BridgeMessage::pushStatus(payload[0] != 0);
    default:
        break;  // the script's commands never come from the bridge
    }
    return Unexpected(ProtocolError::unknownCommand(frame->command));
}

}  // namespace corvane::BridgeCodec
