#include "core/PushSysEx.h"

#include <algorithm>
#include <cstddef>

namespace corvane::PushSysEx {

namespace {

// A value 0...255 as two data bytes, low seven bits first.
void appendPair(Bytes& body, int value) {
    const int v = std::clamp(value, 0, 255);
    body.push_back(static_cast<std::uint8_t>(v & 0x7F));
    body.push_back(static_cast<std::uint8_t>(v >> 7));
}

int pairValue(std::uint8_t lo, std::uint8_t hi) { return (lo | hi << 7) & 0xFF; }

}  // namespace

Bytes message(std::span<const std::uint8_t> body) {
    Bytes bytes(header.size() + body.size() + 1, end);
    std::copy(header.begin(), header.end(), bytes.begin());
    std::copy(body.begin(), body.end(), bytes.begin() + header.size());
    return bytes;
}

std::optional<Bytes> body(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < header.size() + 2) return std::nullopt;
    if (!std::equal(header.begin(), header.end(), bytes.begin())) return std::nullopt;
    if (bytes.back() != end) return std::nullopt;
    return Bytes(bytes.begin() + header.size(), bytes.end() - 1);
}

Bytes ledBrightness(int value) {
    const std::uint8_t body[]{setLEDBrightness, static_cast<std::uint8_t>(std::clamp(value, 0, 127))};
    return message(body);
}

Bytes displayBrightness(int value) {
    Bytes body{setDisplayBrightness};
    appendPair(body, value);
    return message(body);
}

Bytes aftertouchMode(AftertouchMode mode) {
    const std::uint8_t body[]{setAftertouchMode, static_cast<std::uint8_t>(rawValue(mode))};
    return message(body);
}

Bytes preamp(int input, Preamp preamp) {
    Bytes body{audioInterface, static_cast<std::uint8_t>(input == 0 ? 0x1A : 0x1B),
               static_cast<std::uint8_t>(rawValue(preamp))};
    body.resize(16, 0x00);
    return message(body);
}

Bytes velocityCurveChunk(int start, std::span<const int> values) {
    Bytes body{setVelocityCurveEntries, static_cast<std::uint8_t>(start & 0x7F)};
    for (int v : values.first(std::min<std::size_t>(values.size(), 16)))
        body.push_back(static_cast<std::uint8_t>(std::clamp(v, 1, 127)));
    return message(body);
}

Bytes queryVelocityCurveEntry(int index) {
    const std::uint8_t body[]{getVelocityCurveEntry, static_cast<std::uint8_t>(index & 0x7F)};
    return message(body);
}

Bytes queryPaletteEntry(int index) {
    const std::uint8_t body[]{getPaletteEntry, static_cast<std::uint8_t>(index & 0x7F)};
    return message(body);
}

Bytes setPalette(const PaletteEntry& entry) {
    Bytes body{setPaletteEntry, static_cast<std::uint8_t>(entry.index & 0x7F)};
    for (int channel : {entry.red, entry.green, entry.blue, entry.white}) appendPair(body, channel);
    return message(body);
}

Bytes reapply() {
    const std::uint8_t body[]{reapplyPalette};
    return message(body);
}

std::vector<Bytes> settingsQueries() {
    std::vector<Bytes> queries;
    for (std::uint8_t command : {getLEDBrightness, getDisplayBrightness, getAftertouchMode})
        queries.push_back(message(std::span(&command, 1)));
    return queries;
}

std::optional<Reply> reply(std::span<const std::uint8_t> body) {
    if (body.empty()) return std::nullopt;
    switch (body[0]) {
        case getLEDBrightness:
            if (body.size() >= 2) return Reply::ledBrightness(body[1]);
            break;
        case getDisplayBrightness:
            if (body.size() >= 3) return Reply::displayBrightness(pairValue(body[1], body[2]));
            break;
        case getAftertouchMode:
            if (body.size() >= 2) {
                if (auto mode = aftertouchModeFromRaw(body[1])) return Reply::aftertouchMode(*mode);
            }
            break;
        case getVelocityCurveEntry:
            if (body.size() >= 3) return Reply::velocityCurveEntry(body[1], body[2]);
            break;
        default:
            break;
    }
    return std::nullopt;
}

std::optional<PaletteEntry> decodePaletteEntry(std::span<const std::uint8_t> body) {
    if (body.size() < 10 || body[0] != getPaletteEntry) return std::nullopt;
    return PaletteEntry{.index = body[1],
                        .red = pairValue(body[2], body[3]),
                        .green = pairValue(body[4], body[5]),
                        .blue = pairValue(body[6], body[7]),
                        .white = pairValue(body[8], body[9])};
}

}  // namespace corvane::PushSysEx
