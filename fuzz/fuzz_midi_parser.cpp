// Arbitrary bytes in arbitrary packet splits: the parser must not crash, must emit the same
// messages however the stream is split, and every message must be well formed and parse back
// to itself from its own bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/MIDIStreamParser.h"

using namespace corvane;

namespace {

void require(bool holds) {
    if (!holds) std::abort();
}

void checkShape(const MIDIMessage& m, std::int64_t maxSysexLength) {
    if (const auto* s = m.as<MIDIMessage::Sysex>()) {
        const auto cap = static_cast<std::size_t>(maxSysexLength < 1 ? 1 : maxSysexLength) + 1;
        require(s->bytes.size() >= 2 && s->bytes.size() <= cap);
        require(s->bytes.front() == 0xF0 && s->bytes.back() == 0xF7);
        for (std::size_t i = 1; i + 1 < s->bytes.size(); ++i) require(s->bytes[i] < 0x80);
    } else if (const auto* o = m.as<MIDIMessage::Other>()) {
        require(!o->bytes.empty() && o->bytes.size() <= 3 && o->bytes[0] >= 0xF1 && o->bytes[0] != 0xF4 &&
                o->bytes[0] != 0xF5);
    } else if (const auto* p = m.as<MIDIMessage::PitchBend>()) {
        require(p->channel < 16 && p->value < 16384);
    }
    const Bytes bytes = m.bytes();
    if (!m.is<MIDIMessage::Sysex>()) {
        for (std::size_t i = 1; i < bytes.size(); ++i) require(bytes[i] < 0x80);
    }

    MIDIStreamParser fresh(maxSysexLength);
    std::vector<MIDIMessage> again;
    fresh.feed(bytes, [&](const MIDIMessage& back) { again.push_back(back); });
    require(again.size() == 1 && again[0] == m);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    // First byte: the sysex cap (small caps reach truncation); second: the split pattern.
    const std::int64_t maxSysexLength = data[0] >= 0xF0 ? 65536 : data[0] % 24;
    std::uint32_t seed = data[1] | 1u;
    data += 2;
    size -= 2;

    std::vector<MIDIMessage> whole;
    MIDIStreamParser one(maxSysexLength);
    one.feed(data, size, [&](const MIDIMessage& m) { whole.push_back(m); });

    std::vector<MIDIMessage> split;
    MIDIStreamParser many(maxSysexLength);
    for (std::size_t at = 0; at < size;) {
        seed = seed * 1103515245u + 12345u;
        std::size_t chunk = (seed >> 16) % 9;  // empty packets too
        if (chunk > size - at) chunk = size - at;
        many.feed(data + at, chunk, [&](const MIDIMessage& m) { split.push_back(m); });
        require(many.sysex().size() <= static_cast<std::size_t>(maxSysexLength < 1 ? 1 : maxSysexLength));
        at += chunk;
    }

    require(whole == split);
    require(one.status() == many.status() && one.inSysex() == many.inSysex() && one.sysex() == many.sysex());
    for (const auto& m : whole) checkShape(m, maxSysexLength);
    return 0;
}
