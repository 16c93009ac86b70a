#include "core/BridgeCodec.h"

#include <gtest/gtest.h>

#include "core/BridgeProtocol.h"

namespace corvane {
namespace {

using BridgeProtocol::Command;

Bytes frame(std::uint8_t command, Bytes payload) {
    payload.insert(payload.begin(), {0xF0, 0x7D, 0x50, 0x43, 0x01, command});
    payload.push_back(0xF7);
    return payload;
}

ProtocolError hostError(const Bytes& bytes) {
    const auto decoded = BridgeCodec::decodeHostMessage(bytes);
    EXPECT_FALSE(decoded.has_value());
    return decoded ? ProtocolError::notOurs() : decoded.error();
}

TEST(BridgeCodecEncode, HostMessagesHaveTheirExactBytes) {
    const StateKey key(2, 2);
    EXPECT_EQ(BridgeCodec::encode(HostMessage::setNumber(key, 1000)),
              (Bytes{0xF0, 0x7D, 0x50, 0x43, 0x01, 0x11, 0x02, 0x02, 0x07, 0x68, 0xF7}));
    EXPECT_EQ(BridgeCodec::encode(HostMessage::setNumber(key, -5)), frame(0x11, {0x02, 0x02, 0x00, 0x00}));
    EXPECT_EQ(BridgeCodec::encode(HostMessage::setNumber(key, 20000)), frame(0x11, {0x02, 0x02, 0x7F, 0x7F}));
    EXPECT_EQ(BridgeCodec::encode(HostMessage::setColor(StateKey(2, 1), RGB{229, 57, 53})),
              frame(0x12, {0x02, 0x01, 0x01, 0x65, 0x39, 0x35}));
    EXPECT_EQ(BridgeCodec::encode(HostMessage::hello("1.0")), frame(0x01, {0x00, '1', '.', '0'}));
    EXPECT_EQ(BridgeCodec::encode(HostMessage::setString(StateKey(0, 0), "Cubase")),
              frame(0x10, {0x00, 0x00, 0x00, 'C', 'u', 'b', 'a', 's', 'e'}));
    EXPECT_EQ(BridgeCodec::encode(HostMessage::clearObject(0x90)), frame(0x13, {0x10}));
    EXPECT_EQ(BridgeCodec::encode(HostMessage::log(0x82, "x")), frame(0x1F, {0x02, 0x00, 'x'}));
    EXPECT_EQ(BridgeCodec::encode(HostMessage::goodbye()), frame(0x02, {}));
    EXPECT_EQ(BridgeCodec::encode(HostMessage::heartbeat()), frame(0x03, {}));
}

TEST(BridgeCodecEncode, BridgeMessagesHaveTheirExactBytes) {
    EXPECT_EQ(BridgeCodec::encode(BridgeMessage::bridgeHello("0.4.3", true)),
              frame(0x41, {0x01, 0x00, '0', '.', '4', '.', '3'}));
    EXPECT_EQ(BridgeCodec::encode(BridgeMessage::bridgeHello("", false)), frame(0x41, {0x00}));
    EXPECT_EQ(BridgeCodec::encode(BridgeMessage::pushStatus(true)), frame(0x43, {0x01}));
    EXPECT_EQ(BridgeCodec::encode(BridgeMessage::pushStatus(false)), frame(0x43, {0x00}));
    EXPECT_EQ(BridgeCodec::encode(BridgeMessage::requestResync()), frame(0x42, {}));
}

TEST(BridgeCodecDecode, EveryMessageRoundTrips) {
    const std::string longText(300, 'z');
    for (const auto& m : {HostMessage::hello("Tessaly 2.1"), HostMessage::setString(StateKey(16, 0), "Bass \xE2\x99\xAD"),
                          HostMessage::setNumber(StateKey(127, 127), 16383), HostMessage::setNumber(StateKey(0, 2), 0),
                          HostMessage::setColor(StateKey(2, 1), RGB{255, 128, 0}), HostMessage::clearObject(23),
                          HostMessage::log(3, "hi"), HostMessage::goodbye(), HostMessage::heartbeat()}) {
        EXPECT_EQ(BridgeCodec::decodeHostMessage(BridgeCodec::encode(m)), m) << describe(m);
    }
    for (const auto& m : {BridgeMessage::bridgeHello("0.4.3", true), BridgeMessage::bridgeHello("x", false),
                          BridgeMessage::pushStatus(true), BridgeMessage::requestResync()}) {
        EXPECT_EQ(BridgeCodec::decodeBridgeMessage(BridgeCodec::encode(m)), m) << describe(m);
    }
    EXPECT_EQ(BridgeCodec::decodeHostMessage(BridgeCodec::encode(HostMessage::log(1, longText))),
              HostMessage::log(1, std::string(255, 'z')));
}

TEST(BridgeCodecDecode, FramesThatAreNotOursOrBroken) {
    EXPECT_EQ(hostError({0xF0, 0x7D, 0x50, 0x43, 0x02, 0x01, 0xF7}), ProtocolError::versionMismatch(2));
    EXPECT_EQ(hostError({0xF0, 0x7D, 0x50, 0x43, 0x01, 0xF7}), ProtocolError::malformed("too short"));
    EXPECT_EQ(hostError({0xF0, 0x7D, 0x50, 0x43, 0xF7}), ProtocolError::malformed("too short"));
    EXPECT_EQ(hostError({0xF0, 0x7D, 0x50, 0x43, 0x01, 0x01}), ProtocolError::notOurs());
    EXPECT_EQ(hostError({0xF0, 0x7E, 0x50, 0x43, 0x01, 0x01, 0xF7}), ProtocolError::notOurs());
    EXPECT_EQ(hostError({0xF0, 0x7D, 0x50}), ProtocolError::notOurs());
    EXPECT_EQ(hostError({}), ProtocolError::notOurs());
    EXPECT_EQ(BridgeCodec::decodeBridgeMessage(Bytes{0xF0, 0x7D, 0x50, 0x43, 0x09, 0x41, 0xF7}).error(),
              ProtocolError::versionMismatch(9));
}

TEST(BridgeCodecDecode, CommandsOfTheOtherSideAreUnknown) {
    EXPECT_EQ(hostError(BridgeCodec::encode(BridgeMessage::bridgeHello("0.4.3", true))),
              ProtocolError::unknownCommand(0x41));
    EXPECT_EQ(hostError(frame(0x42, {})), ProtocolError::unknownCommand(0x42));
    EXPECT_EQ(hostError(frame(0x20, {})), ProtocolError::unknownCommand(0x20));
    EXPECT_EQ(BridgeCodec::decodeBridgeMessage(BridgeCodec::encode(HostMessage::heartbeat())).error(),
              ProtocolError::unknownCommand(0x03));
    EXPECT_EQ(BridgeCodec::decodeBridgeMessage(frame(0x7F, {})).error(), ProtocolError::unknownCommand(0x7F));
}

TEST(BridgeCodecDecode, PayloadsOfEachHostCommand) {
    const auto host = [](std::uint8_t command, Bytes payload) {
        return BridgeCodec::decodeHostMessage(frame(command, std::move(payload)));
    };
    // Payloads that carry nothing are ignored.
    EXPECT_EQ(host(0x03, {0x01, 0x02}), HostMessage::heartbeat());
    EXPECT_EQ(host(0x02, {0x7F}), HostMessage::goodbye());
    EXPECT_EQ(host(0x01, {}), HostMessage::hello(""));
    EXPECT_EQ(host(0x1F, {0x02}), HostMessage::log(2, ""));
    EXPECT_EQ(host(0x1F, {}).error(), ProtocolError::malformed("log"));
    EXPECT_EQ(host(0x1F, {0x02, 0x01, 0x80}).error(), ProtocolError::malformed("string"));
    EXPECT_EQ(host(0x01, {0x00, 0x41, 0x80}).error(), ProtocolError::malformed("string"));

    EXPECT_EQ(host(0x11, {0x02, 0x02, 0x07}).error(), ProtocolError::malformed("setNumber length"));
    EXPECT_EQ(host(0x11, {0x02, 0x02, 0x07, 0x68, 0x00}).error(), ProtocolError::malformed("setNumber length"));
    EXPECT_EQ(host(0x11, {0x02}).error(), ProtocolError::malformed("missing key"));
    EXPECT_EQ(host(0x11, {0x80, 0x02, 0x07, 0x68}).error(), ProtocolError::malformed("key not 7-bit"));
    EXPECT_EQ(host(0x11, {0x02, 0x02, 0x87, 0xE8}), HostMessage::setNumber(StateKey(2, 2), 1000));

    EXPECT_EQ(host(0x12, {0x02, 0x01, 0x00, 0x01, 0x02}).error(), ProtocolError::malformed("setColor"));
    EXPECT_EQ(host(0x12, {0x02, 0x01, 0x00, 0x01, 0x02, 0x03, 0x04}).error(), ProtocolError::malformed("setColor"));
    EXPECT_EQ(host(0x12, {0x02, 0x01, 0x00, 0x01, 0x82, 0x03}).error(), ProtocolError::malformed("setColor"));

    EXPECT_EQ(host(0x13, {}).error(), ProtocolError::malformed("clearObject"));
    EXPECT_EQ(host(0x13, {0x10, 0x11}).error(), ProtocolError::malformed("clearObject"));
    EXPECT_EQ(host(0x10, {0x00, 0x00, 0x00, 'a', 0xFF}).error(), ProtocolError::malformed("string"));
    EXPECT_EQ(host(0x10, {0x00, 0x00, 0x01, 0x7F}), HostMessage::setString(StateKey(0, 0), "\xEF\xBF\xBD"));
}

TEST(BridgeCodecDecode, KeyErrorsComeBeforeLengthAndStringErrors) {
    const auto host = [](std::uint8_t command, Bytes payload) {
        return BridgeCodec::decodeHostMessage(frame(command, std::move(payload))).error();
    };
    EXPECT_EQ(host(0x11, {0x02, 0x80}), ProtocolError::malformed("key not 7-bit"));
    EXPECT_EQ(host(0x11, {0x80, 0x02, 0x07}), ProtocolError::malformed("key not 7-bit"));
    EXPECT_EQ(host(0x10, {0x02, 0x90, 0x80}), ProtocolError::malformed("key not 7-bit"));
    EXPECT_EQ(host(0x12, {0x02}), ProtocolError::malformed("missing key"));
    EXPECT_EQ(host(0x10, {}), ProtocolError::malformed("missing key"));
}

TEST(BridgeCodecDecode, PayloadsOfEachBridgeCommand) {
    const auto bridge = [](std::uint8_t command, Bytes payload) {
        return BridgeCodec::decodeBridgeMessage(frame(command, std::move(payload)));
    };
    EXPECT_EQ(bridge(0x41, {}).error(), ProtocolError::malformed("bridgeHello"));
    EXPECT_EQ(bridge(0x41, {0x05}), BridgeMessage::bridgeHello("", true));
    EXPECT_EQ(bridge(0x41, {0x00, 0x00, 0x80}).error(), ProtocolError::malformed("string"));
    EXPECT_EQ(bridge(0x43, {}).error(), ProtocolError::malformed("pushStatus"));
    EXPECT_EQ(bridge(0x43, {0x00, 0x01}), BridgeMessage::pushStatus(false));
    EXPECT_EQ(bridge(0x42, {0x01, 0x02}), BridgeMessage::requestResync());
}

TEST(BridgeCodec, IsOursLooksOnlyAtTheHeader) {
    EXPECT_TRUE(BridgeCodec::isOurs(Bytes{0xF0, 0x7D, 0x50, 0x43}));
    EXPECT_TRUE(BridgeCodec::isOurs(Bytes{0xF0, 0x7D, 0x50, 0x43, 0x09}));
    EXPECT_FALSE(BridgeCodec::isOurs(Bytes{0xF0, 0x7D, 0x50}));
    EXPECT_FALSE(BridgeCodec::isOurs(Bytes{0xF0, 0x00, 0x21, 0x1D, 0x01, 0x01, 0xF7}));
}

TEST(ProtocolError, TextFormNamesTheCaseAndItsValue) {
    EXPECT_EQ(ProtocolError::versionMismatch(2).description(), "versionMismatch(2)");
    EXPECT_EQ(ProtocolError::unknownCommand(0x41).description(), "unknownCommand(65)");
    EXPECT_EQ(ProtocolError::malformed("too short").description(), "malformed(\"too short\")");
    EXPECT_EQ(ProtocolError::notOurs().description(), "notOurs");
}

TEST(BridgeProtocol, CommandFromRawValueKnowsOnlyTheCommands) {
    EXPECT_EQ(BridgeProtocol::commandFromRawValue(0x1F), Command::log);
    EXPECT_EQ(BridgeProtocol::commandFromRawValue(0x43), Command::pushStatus);
    for (int b = 0; b < 256; ++b) {
        const auto c = BridgeProtocol::commandFromRawValue(static_cast<std::uint8_t>(b));
        if (c) {
            EXPECT_EQ(static_cast<int>(*c), b);
        }
    }
    EXPECT_EQ(BridgeProtocol::commandFromRawValue(0x00), std::nullopt);
    EXPECT_EQ(BridgeProtocol::commandFromRawValue(0x14), std::nullopt);
}

}  // namespace
}  // namespace corvane
