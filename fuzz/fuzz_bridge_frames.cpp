// Arbitrary bytes as bridge-protocol frames, read by both sides. Decoding must never crash, a
// refusal must be consistent with isOurs, and whatever decodes must encode back to a frame that
// decodes to the same message (strings over the length limit come back cut to a prefix).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "core/BridgeCodec.h"
#include "core/Overloaded.h"
#include "core/UTF8.h"
#include "fuzz/Check.h"

using namespace corvane;

namespace {

void checkFrame(const Bytes& frame) {
    check(BridgeCodec::isOurs(frame) && frame.size() >= 7 && frame.back() == 0xF7);
    for (std::size_t i = 4; i + 1 < frame.size(); ++i) check(frame[i] < 0x80);
}

// A decoded string is valid UTF-8; one that fits the limit comes back whole, a longer one as a
// prefix of itself.
void checkString(const std::string& sent, const std::string& back) {
    check(isValidUTF8(sent));
    if (sent.size() <= BridgeCodec::maxStringBytes) {
        check(back == sent);
    } else {
        check(back.size() <= BridgeCodec::maxStringBytes && sent.compare(0, back.size(), back) == 0);
    }
}

void checkRefusal(std::span<const std::uint8_t> bytes, const ProtocolError& error) {
    check(error.is<ProtocolError::NotOurs>() == !(BridgeCodec::isOurs(bytes) && bytes.back() == 0xF7));
    check(!error.description().empty());
}

void checkHost(std::span<const std::uint8_t> bytes) {
    const auto decoded = BridgeCodec::decodeHostMessage(bytes);
    if (!decoded) return checkRefusal(bytes, decoded.error());
    const HostMessage& m = *decoded;
    const Bytes frame = BridgeCodec::encode(m);
    checkFrame(frame);
    const auto again = BridgeCodec::decodeHostMessage(frame);
    check(again.has_value());
    using M = HostMessage;
    std::visit(Overloaded{
                   [&](const M::Hello& h) { checkString(h.scriptVersion, again->as<M::Hello>()->scriptVersion); },
                   [&](const M::SetString& s) {
                       check(again->as<M::SetString>()->key == s.key);
                       checkString(s.text, again->as<M::SetString>()->text);
                   },
                   [&](const M::Log& l) {
                       check(again->as<M::Log>()->level == (l.level & 0x7F));
                       checkString(l.text, again->as<M::Log>()->text);
                   },
                   [&](const M::ClearObject& c) { check(*again == M::clearObject(c.object & 0x7F)); },
                   [&](const M::SetNumber& n) {
                       check(n.value >= 0 && n.value <= 16383);
                       check(*again == m);
                   },
                   [&](const auto&) { check(*again == m); },
               },
               m.value);
}

void checkBridge(std::span<const std::uint8_t> bytes) {
    const auto decoded = BridgeCodec::decodeBridgeMessage(bytes);
    if (!decoded) return checkRefusal(bytes, decoded.error());
    const Bytes frame = BridgeCodec::encode(*decoded);
    checkFrame(frame);
    const auto again = BridgeCodec::decodeBridgeMessage(frame);
    check(again.has_value());
    if (const auto* hello = decoded->as<BridgeMessage::BridgeHello>()) {
        const auto* back = again->as<BridgeMessage::BridgeHello>();
        check(back && back->pushConnected == hello->pushConnected);
        checkString(hello->bridgeVersion, back->bridgeVersion);
    } else {
        check(*again == *decoded);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    checkHost(bytes);
    checkBridge(bytes);
    return 0;
}
