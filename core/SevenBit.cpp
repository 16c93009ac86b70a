#include "core/SevenBit.h"

#include <algorithm>

#include "core/UTF8.h"

namespace corvane::SevenBit {

namespace {

// Unpacks into any byte container; false when a byte is not seven-bit.
template <class Out>
bool unpackInto(std::span<const std::uint8_t> packed, Out& out) {
    out.reserve(out.size() + packed.size());
    for (std::size_t at = 0; at < packed.size();) {
        const std::uint8_t lead = packed[at++];
        if (lead >= 0x80) return false;
        const std::size_t end = std::min(at + 7, packed.size());
        for (std::size_t i = 0; at < end; ++at, ++i) {
            const std::uint8_t b = packed[at];
            if (b >= 0x80) return false;
            out.push_back(static_cast<typename Out::value_type>(b | (((lead >> i) & 1) << 7)));
        }
    }
    return true;
}

// The length of the longest prefix of at most maxBytes that ends at a character boundary.
std::size_t cutLength(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text.size();
    for (std::size_t k = maxBytes; k >= 1; --k) {
        const auto b = static_cast<std::uint8_t>(text[k]);
        if (b < 0x80 || b > 0xBF) return k;
    }
    return 0;
}

}  // namespace

void appendPacked(Bytes& out, std::span<const std::uint8_t> bytes) {
    out.reserve(out.size() + bytes.size() + (bytes.size() + 6) / 7);
    for (std::size_t at = 0; at < bytes.size(); at += 7) {
        const std::size_t count = std::min<std::size_t>(7, bytes.size() - at);
        std::uint8_t lead = 0;
        for (std::size_t i = 0; i < count; ++i) lead |= static_cast<std::uint8_t>((bytes[at + i] >> 7) << i);
        out.push_back(lead);
        for (std::size_t i = 0; i < count; ++i) out.push_back(bytes[at + i] & 0x7F);
    }
}

Bytes pack(std::span<const std::uint8_t> bytes) {
    Bytes out;
    appendPacked(out, bytes);
    return out;
}

std::optional<Bytes> unpack(std::span<const std::uint8_t> packed) {
    Bytes out;
    if (!unpackInto(packed, out)) return std::nullopt;
    return out;
}

std::array<std::uint8_t, 2> encode14(std::int64_t value) {
    const std::int64_t v = std::clamp<std::int64_t>(value, 0, 16383);
    return {static_cast<std::uint8_t>(v >> 7), static_cast<std::uint8_t>(v & 0x7F)};
}

void appendString(Bytes& out, std::string_view text, std::size_t maxBytes) {
    const std::size_t length = cutLength(text, maxBytes);
    appendPacked(out, {reinterpret_cast<const std::uint8_t*>(text.data()), length});
}

Bytes encodeString(std::string_view text, std::size_t maxBytes) {
    Bytes out;
    appendString(out, text, maxBytes);
    return out;
}

std::optional<std::string> decodeString(std::span<const std::uint8_t> packed) {
    std::string raw;
    if (!unpackInto(packed, raw)) return std::nullopt;
    if (isValidUTF8(raw)) return raw;
    return validUTF8(raw);
}

}  // namespace corvane::SevenBit
