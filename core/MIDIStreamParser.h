#pragma once
// Turns a raw MIDI byte stream, split into packets anywhere, into whole messages.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
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
    // copies it, and must not feed this parser again from inside.
    template <class Handler>
    void feed(const std::uint8_t* bytes, std::size_t count, Handler&& handler);

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
    // Data bytes that complete a message of this status; 0 when its data bytes yield nothing.
    static constexpr std::uint8_t dataLength(std::uint8_t status) {
        if (status < 0x80) return 0;
        switch (status >> 4) {
        case 0xC:
        case 0xD:
            return 1;
        case 0xF:
            return status == 0xF1 || status == 0xF3 ? 1 : status == 0xF2 ? 2 : 0;
        default:
            return 2;
        }
    }

    Bytes& sysexBytes() { return std::get_if<MIDIMessage::Sysex>(&sysex_.value)->bytes; }
    const Bytes& sysexBytes() const { return std::get_if<MIDIMessage::Sysex>(&sysex_.value)->bytes; }
    Bytes& otherBytes() { return std::get_if<MIDIMessage::Other>(&other_.value)->bytes; }

    template <class Handler>
    void emitOther(std::uint8_t b, Handler& handler) {
        Bytes& out = otherBytes();
        out.assign(1, b);
        handler(std::as_const(other_));
    }

    template <class Handler>
    void complete(Handler& handler);

    void setStatus(std::uint8_t status) {
        status_ = status;
        needed_ = dataLength(status);
        count_ = 0;
    }

    std::int64_t maxSysexLength_;
    std::uint8_t status_ = 0;
    std::uint8_t needed_ = 0;  // 0 while status is 0 or F4/F5: data bytes are dropped
    std::uint8_t count_ = 0;
    std::array<std::uint8_t, 2> data_{};
    bool inSysex_ = false;
    // Both buffers are handed to the handler in place and keep their capacity between messages.
    MIDIMessage sysex_{MIDIMessage::Sysex{}};
    MIDIMessage other_{MIDIMessage::Other{}};
};

template <class Handler>
void MIDIStreamParser::complete(Handler& handler) {
    const std::uint8_t channel = status_ & 0x0F;
    const std::uint8_t d0 = data_[0], d1 = data_[1];
    count_ = 0;
    const auto emit = [&handler](auto fields) {
        const MIDIMessage message{fields};
        handler(message);
    };
    switch (status_ >> 4) {
    case 0x8: emit(MIDIMessage::NoteOff{channel, d0, d1}); return;
    case 0x9: emit(MIDIMessage::NoteOn{channel, d0, d1}); return;
    case 0xA: emit(MIDIMessage::PolyPressure{channel, d0, d1}); return;
    case 0xB: emit(MIDIMessage::ControlChange{channel, d0, d1}); return;
    case 0xC: emit(MIDIMessage::ProgramChange{channel, d0}); return;
    case 0xD: emit(MIDIMessage::ChannelPressure{channel, d0}); return;
    case 0xE: {
        emit(MIDIMessage::PitchBend{channel, static_cast<std::uint16_t>(d0 | (d1 << 7))});
        return;
    }
    default: {
        // System common (F1, F2, F3): no running status afterwards.
        Bytes& out = otherBytes();
        out.clear();
        out.push_back(status_);
        out.insert(out.end(), data_.begin(), data_.begin() + needed_);
        setStatus(0);
        handler(std::as_const(other_));
        return;
    }
    }
}

template <class Handler>
void MIDIStreamParser::feed(const std::uint8_t* bytes, std::size_t count, Handler&& handler) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t b = bytes[i];
        if (b < 0x80) {
            if (inSysex_) {
                Bytes& sysex = sysexBytes();
                if (static_cast<std::int64_t>(sysex.size()) < maxSysexLength_) sysex.push_back(b);
            } else if (needed_ != 0) {
                data_[count_++] = b;
                if (count_ == needed_) complete(handler);
            }
            continue;
        }
        if (b >= 0xF8) {
            // Real-time bytes pass through anything without disturbing it.
            emitOther(b, handler);
            continue;
        }
        if (inSysex_) {
            inSysex_ = false;
            Bytes& sysex = sysexBytes();
            if (b == 0xF7) {
                sysex.push_back(0xF7);
                handler(std::as_const(sysex_));
                sysex.clear();
                continue;
            }
            sysex.clear();  // interrupted: dropped, and b starts what follows
        }
        if (b == 0xF0) {
            inSysex_ = true;
            sysexBytes().assign(1, 0xF0);
            setStatus(0);
            continue;
        }
        setStatus(b);
        if (needed_ == 0) {
            // Tune request and a stray F7 stand alone; the undefined F4 and F5 carry nothing
            // we can use, so their data bytes are dropped like stray ones.
            setStatus(0);
            if (b == 0xF6 || b == 0xF7) emitOther(b, handler);
        }
    }
}

}  // namespace corvane
