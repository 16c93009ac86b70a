// Arbitrary bytes in arbitrary packet splits: the parser must not crash, must emit the same
// messages however the stream is split and as a plain byte-at-a-time reading of the rules
// would, and every message must be well formed and parse back to itself from its own bytes.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/MIDIStreamParser.h"
#include "fuzz/Check.h"

using namespace corvane;

namespace {

// The parsing rules read literally, one byte at a time, without any of the parser's shortcuts.
std::vector<MIDIMessage> reference(const std::uint8_t* data, std::size_t size, std::int64_t maxSysexLength) {
    std::vector<MIDIMessage> out;
    std::uint8_t status = 0;
    Bytes collected, sysex;
    bool inSysex = false;
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t b = data[i];
        if (b >= 0xF8) {
            out.push_back(MIDIMessage::other({b}));
            continue;
        }
        if (inSysex) {
            if (b == 0xF7) {
                sysex.push_back(b);
                out.push_back(MIDIMessage::sysex(sysex));
                sysex.clear();
                inSysex = false;
                continue;
            }
            if (b < 0x80) {
                if (static_cast<std::int64_t>(sysex.size()) < maxSysexLength) sysex.push_back(b);
                continue;
            }
            sysex.clear();
            inSysex = false;
        }
        if (b == 0xF0) {
            inSysex = true;
            sysex = {0xF0};
            status = 0;
            continue;
        }
        if (b >= 0x80) {
            status = b;
            collected.clear();
            if (b == 0xF6 || b == 0xF7) {
                out.push_back(MIDIMessage::other({b}));
                status = 0;
            }
            continue;
        }
        if (status == 0 || status == 0xF4 || status == 0xF5) continue;
        collected.push_back(b);
        const int kind = status >> 4;
        const std::size_t needed = kind == 0xC || kind == 0xD || status == 0xF1 || status == 0xF3 ? 1 : 2;
        if (collected.size() < needed) continue;
        const std::uint8_t ch = status & 0x0F, d0 = collected[0], d1 = needed == 2 ? collected[1] : 0;
        switch (kind) {
        case 0x8: out.push_back(MIDIMessage::noteOff(ch, d0, d1)); break;
        case 0x9: out.push_back(MIDIMessage::noteOn(ch, d0, d1)); break;
        case 0xA: out.push_back(MIDIMessage::polyPressure(ch, d0, d1)); break;
        case 0xB: out.push_back(MIDIMessage::controlChange(ch, d0, d1)); break;
        case 0xC: out.push_back(MIDIMessage::programChange(ch, d0)); break;
        case 0xD: out.push_back(MIDIMessage::channelPressure(ch, d0)); break;
        case 0xE: out.push_back(MIDIMessage::pitchBend(ch, static_cast<std::uint16_t>(d0 | (d1 << 7)))); break;
        default: {
            Bytes common{status};
            common.insert(common.end(), collected.begin(), collected.end());
            out.push_back(MIDIMessage::other(common));
            status = 0;
        }
        }
        collected.clear();
    }
    return out;
}

void checkShape(const MIDIMessage& m, std::int64_t maxSysexLength) {
    if (const auto* s = m.as<MIDIMessage::Sysex>()) {
        const auto cap = static_cast<std::size_t>(maxSysexLength < 1 ? 1 : maxSysexLength) + 1;
        check(s->bytes.size() >= 2 && s->bytes.size() <= cap);
        check(s->bytes.front() == 0xF0 && s->bytes.back() == 0xF7);
        for (std::size_t i = 1; i + 1 < s->bytes.size(); ++i) check(s->bytes[i] < 0x80);
    } else if (const auto* o = m.as<MIDIMessage::Other>()) {
        check(!o->bytes.empty() && o->bytes.size() <= 3 && o->bytes[0] >= 0xF1 && o->bytes[0] != 0xF4 &&
                o->bytes[0] != 0xF5);
    } else if (const auto* p = m.as<MIDIMessage::PitchBend>()) {
        check(p->channel < 16 && p->value < 16384);
    }
    const Bytes bytes = m.bytes();
    if (!m.is<MIDIMessage::Sysex>()) {
        for (std::size_t i = 1; i < bytes.size(); ++i) check(bytes[i] < 0x80);
    }

    MIDIStreamParser fresh(maxSysexLength);
    std::vector<MIDIMessage> again;
    fresh.feed(bytes, [&](const MIDIMessage& back) { again.push_back(back); });
    check(again.size() == 1 && again[0] == m);
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
        check(many.sysex().size() <= static_cast<std::size_t>(maxSysexLength < 1 ? 1 : maxSysexLength));
        at += chunk;
    }

    check(whole == split);
    check(whole == reference(data, size, maxSysexLength));
    check(one.status() == many.status() && one.inSysex() == many.inSysex() && one.sysex() == many.sysex());
    for (const auto& m : whole) checkShape(m, maxSysexLength);
    return 0;
}
