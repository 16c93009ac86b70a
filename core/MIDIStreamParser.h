#pragma once
// Turns a raw MIDI byte stream, split into packets anywhere, into whole messages.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>
#include <utility>

#include "core/MIDIMessage.h"

namespace corvane {

// One per input, owned and fed by exactly one reader. It never fails: stray data bytes are
// ignored, interrupted system-exclusive messages dropped, over-long ones truncated.
class MIDIStreamParser {
public:
    explicit MIDIStreamParser(std::int64_t maxSysexLength = 65536) : maxSysexLength_(maxSysexLength) {}

    // Calls handler(const MIDIMessage&) once per complete message, in stream order, before it
    // returns. The message may refer to the parser's own buffers: a handler that keeps it
    // copies it. A handler must not feed this parser again, and reads the parser's state as
    // settled only after feed returns.
    template <class Handler>
    void feed(const std::uint8_t* bytes, std::size_t size, Handler&& handler);

    template <class Handler>
    void feed(std::span<const std::uint8_t> bytes, Handler&& handler) {
        feed(bytes.data(), bytes.size(), std::forward<Handler>(handler));
    }

    // Cap on the bytes kept of one system-exclusive message, F0 included; an emitted one
    // holds at most this many plus the final F7.
    std::int64_t maxSysexLength() const { return maxSysexLength_; }
    void setMaxSysexLength(std::int64_t length) { maxSysexLength_ = length; }

    // Current running status; 0 when there is none.
    std::uint8_t status() const { return status_; }
    bool inSysex() const { return inSysex_; }
    // The system-exclusive message being assembled, starting with F0.
    const Bytes& sysex() const { return sysexBytes(); }

private:
    // Data bytes that complete a message of this status; 0 when its data bytes yield nothing
    // (no status, the undefined F4 and F5, and the statuses that stand alone).
    static constexpr std::uint8_t dataLength(std::uint8_t status) {
        if (status < 0x80) return 0;
        if (status < 0xF0) return (status & 0xE0) == 0xC0 ? 1 : 2;  // Cn and Dn take one
        return status == 0xF1 || status == 0xF3 ? 1 : status == 0xF2 ? 2 : 0;
    }

    template <class Kind>
    static Kind channelMessage(std::uint8_t channel, std::uint8_t d0, std::uint8_t d1) {
        if constexpr (std::is_same_v<Kind, MIDIMessage::PitchBend>) {
            return {channel, static_cast<std::uint16_t>(d0 | (d1 << 7))};
        } else if constexpr (std::is_same_v<Kind, MIDIMessage::ProgramChange> ||
                             std::is_same_v<Kind, MIDIMessage::ChannelPressure>) {
            (void)d1;
            return {channel, d0};
        } else {
            return {channel, d0, d1};
        }
    }

    // Emits the messages of one channel status found whole at p, under running status or with
    // the status byte repeated, and returns where they end: at the first byte that is neither,
    // or where too few bytes remain for one more message.
    template <class Kind, class Handler>
    static const std::uint8_t* channelRun(const std::uint8_t* p, const std::uint8_t* end, std::uint8_t status,
                                          Handler& handler) {
        constexpr std::ptrdiff_t length = dataLength(std::is_same_v<Kind, MIDIMessage::ProgramChange> ||
                                                             std::is_same_v<Kind, MIDIMessage::ChannelPressure>
                                                         ? 0xC0
                                                         : 0x80);
        const std::uint8_t channel = status & 0x0F;
        while (end - p >= length) {
            const std::uint8_t d0 = p[0];
            const std::uint8_t d1 = length == 2 ? p[1] : 0;
            if ((d0 | d1) & 0x80) break;
            const MIDIMessage message{channelMessage<Kind>(channel, d0, d1)};
            handler(message);
            p += length;
            if (p != end && *p == status) ++p;
        }
        return p;
    }

    template <class Handler>
    static const std::uint8_t* channelRun(const std::uint8_t* p, const std::uint8_t* end, std::uint8_t status,
                                          Handler& handler) {
        switch (status >> 4) {
        case 0x8: return channelRun<MIDIMessage::NoteOff>(p, end, status, handler);
        case 0x9: return channelRun<MIDIMessage::NoteOn>(p, end, status, handler);
        case 0xA: return channelRun<MIDIMessage::PolyPressure>(p, end, status, handler);
        case 0xB: return channelRun<MIDIMessage::ControlChange>(p, end, status, handler);
        case 0xC: return channelRun<MIDIMessage::ProgramChange>(p, end, status, handler);
        case 0xD: return channelRun<MIDIMessage::ChannelPressure>(p, end, status, handler);
        default: return channelRun<MIDIMessage::PitchBend>(p, end, status, handler);
        }
    }

    // Emits the message that status s completes with data d0 (and d1 where it takes two).
    template <class Handler>
    void complete(std::uint8_t s, std::uint8_t d0, std::uint8_t d1, Handler& handler) {
        const auto emit = [&handler, s, d0, d1](auto kind) {
            const MIDIMessage message{channelMessage<decltype(kind)>(s & 0x0F, d0, d1)};
            handler(message);
        };
        switch (s >> 4) {
        case 0x8: return emit(MIDIMessage::NoteOff{});
        case 0x9: return emit(MIDIMessage::NoteOn{});
        case 0xA: return emit(MIDIMessage::PolyPressure{});
        case 0xB: return emit(MIDIMessage::ControlChange{});
        case 0xC: return emit(MIDIMessage::ProgramChange{});
        case 0xD: return emit(MIDIMessage::ChannelPressure{});
        case 0xE: return emit(MIDIMessage::PitchBend{});
        default: {
            // System common: F1 and F3 carry one data byte, F2 two.
            Bytes& out = otherBytes();
            out.clear();
            out.push_back(s);
            out.push_back(d0);
            if (s == 0xF2) out.push_back(d1);
            handler(std::as_const(other_));
        }
        }
    }

    Bytes& sysexBytes() { return std::get_if<MIDIMessage::Sysex>(&sysex_.value)->bytes; }
    const Bytes& sysexBytes() const { return std::get_if<MIDIMessage::Sysex>(&sysex_.value)->bytes; }
    Bytes& otherBytes() { return std::get_if<MIDIMessage::Other>(&other_.value)->bytes; }

    template <class Handler>
    void emitOther(std::uint8_t b, Handler& handler) {
        Bytes& out = otherBytes();
        out.clear();
        out.push_back(b);
        handler(std::as_const(other_));
    }

    // Appends the run of data bytes at p, up to the cap, and returns where the run ends.
    const std::uint8_t* appendSysexRun(const std::uint8_t* p, const std::uint8_t* end) {
        const std::uint8_t* run = p;
        // Eight bytes at a time while none has its top bit set.
        while (end - run >= 8) {
            std::uint64_t word;
            std::memcpy(&word, run, 8);
            if (word & 0x8080808080808080u) break;
            run += 8;
        }
        while (run != end && *run < 0x80) ++run;
        Bytes& sysex = sysexBytes();
        const std::int64_t room = maxSysexLength_ - static_cast<std::int64_t>(sysex.size());
        if (room > 0) sysex.insert(sysex.end(), p, p + std::min<std::int64_t>(room, run - p));
        return run;
    }

    std::int64_t maxSysexLength_;
    std::uint8_t status_ = 0;
    std::uint8_t needed_ = 0;  // 0 while data bytes are dropped
    std::uint8_t count_ = 0;   // data bytes collected: 0 or 1
    std::uint8_t first_ = 0;   // the first data byte while one is collected
    bool inSysex_ = false;
    // Both buffers are handed to the handler in place and keep their capacity between messages.
    MIDIMessage sysex_{MIDIMessage::Sysex{}};
    MIDIMessage other_{MIDIMessage::Other{}};
};

template <class Handler>
void MIDIStreamParser::feed(const std::uint8_t* p, std::size_t size, Handler&& handler) {
    // The running state lives in locals while the bytes are read and is stored at the end.
    std::uint8_t status = status_, needed = needed_, count = count_, first = first_;
    bool inSysex = inSysex_;
    const std::uint8_t* const end = p + size;
    while (p != end) {
        const std::uint8_t b = *p;
        if (b < 0x80) {
            if (inSysex) {
                p = appendSysexRun(p, end);
                continue;
            }
            if (needed == 0) {  // stray: no status, or one whose data we drop
                ++p;
                continue;
            }
            if (count == 0 && status < 0xF0) {
                // Channel traffic, the bulk of the stream: whole messages at once.
                const std::uint8_t* after = channelRun(p, end, status, handler);
                if (after != p) {
                    p = after;
                    continue;
                }
            }
            // One data byte at a time where a message is split or interrupted.
            ++p;
            if (needed == 2 && count == 0) {
                first = b;
                count = 1;
                continue;
            }
            const std::uint8_t d0 = count == 1 ? first : b;
            count = 0;
            complete(status, d0, b, handler);
            // A channel status stays as running status; system common is cleared.
            if (status >= 0xF0) status = needed = 0;
            continue;
        }
        ++p;
        if (b >= 0xF8) {
            // Real-time bytes pass through anything without disturbing it.
            emitOther(b, handler);
            continue;
        }
        if (inSysex) {
            inSysex = false;
            Bytes& sysex = sysexBytes();
            if (b == 0xF7) {
                sysex.push_back(0xF7);
                handler(std::as_const(sysex_));
                sysex.clear();
                continue;
            }
            sysex.clear();  // interrupted: dropped, and b starts what follows
        }
        count = 0;
        if (b == 0xF0) {
            inSysex = true;
            sysexBytes().assign(1, 0xF0);
            status = needed = 0;  // running status is cancelled
            continue;
        }
        needed = dataLength(b);
        status = needed == 0 ? 0 : b;
        // Tune request and a stray F7 stand alone; the undefined F4 and F5 carry nothing we can
        // use, so their data bytes are dropped like stray ones.
        if (b == 0xF6 || b == 0xF7) emitOther(b, handler);
    }
    status_ = status;
    needed_ = needed;
    count_ = count;
    first_ = first;
    inSysex_ = inSysex;
}

}  // namespace corvane
