#pragma once
// One MIDI message as a value, and its wire form.

#include <cstdint>
#include <iosfwd>
#include <string>
#include <variant>
#include <vector>

namespace corvane {

using Bytes = std::vector<std::uint8_t>;

struct MIDIMessage {
    // Channels are 0-based. Values are taken as given: callers supply in-range numbers.
    struct NoteOff {
        std::uint8_t channel, note, velocity;
        bool operator==(const NoteOff&) const = default;
    };
    struct NoteOn {
        std::uint8_t channel, note, velocity;
        bool operator==(const NoteOn&) const = default;
    };
    struct PolyPressure {
        std::uint8_t channel, note, pressure;
        bool operator==(const PolyPressure&) const = default;
    };
    struct ControlChange {
        std::uint8_t channel, controller, value;
        bool operator==(const ControlChange&) const = default;
    };
    struct ProgramChange {
        std::uint8_t channel, program;
        bool operator==(const ProgramChange&) const = default;
    };
    struct ChannelPressure {
        std::uint8_t channel, pressure;
        bool operator==(const ChannelPressure&) const = default;
    };
    struct PitchBend {
        std::uint8_t channel;
        std::uint16_t value;  // 0...16383, centre 8192
        bool operator==(const PitchBend&) const = default;
    };
    // The complete message, leading F0 and final F7 included.
    struct Sysex {
        Bytes bytes;
        bool operator==(const Sysex&) const = default;
    };
    // Real-time bytes, system-common messages, tune request, a stray F7.
    struct Other {
        Bytes bytes;
        bool operator==(const Other&) const = default;
    };

    using Case = std::variant<NoteOff, NoteOn, PolyPressure, ControlChange, ProgramChange,
                              ChannelPressure, PitchBend, Sysex, Other>;
    Case value;

    static MIDIMessage noteOff(std::uint8_t channel, std::uint8_t note, std::uint8_t velocity) {
        return {NoteOff{channel, note, velocity}};
    }
    static MIDIMessage noteOn(std::uint8_t channel, std::uint8_t note, std::uint8_t velocity) {
        return {NoteOn{channel, note, velocity}};
    }
    static MIDIMessage polyPressure(std::uint8_t channel, std::uint8_t note, std::uint8_t pressure) {
        return {PolyPressure{channel, note, pressure}};
    }
    static MIDIMessage controlChange(std::uint8_t channel, std::uint8_t controller, std::uint8_t value) {
        return {ControlChange{channel, controller, value}};
    }
    static MIDIMessage programChange(std::uint8_t channel, std::uint8_t program) {
        return {ProgramChange{channel, program}};
    }
    static MIDIMessage channelPressure(std::uint8_t channel, std::uint8_t pressure) {
        return {ChannelPressure{channel, pressure}};
    }
    static MIDIMessage pitchBend(std::uint8_t channel, std::uint16_t value) {
        return {PitchBend{channel, value}};
    }
    static MIDIMessage sysex(Bytes bytes) { return {Sysex{std::move(bytes)}}; }
    static MIDIMessage other(Bytes bytes) { return {Other{std::move(bytes)}}; }

    template <class T>
    const T* as() const {
        return std::get_if<T>(&value);
    }
    template <class T>
    bool is() const {
        return std::holds_alternative<T>(value);
    }

    // The wire form. The channel is ORed into the status unmasked; only pitch bend is split.
    Bytes bytes() const;

    bool operator==(const MIDIMessage&) const = default;
};

// Readable form for test failures and debugging, e.g. "noteOn(0, 60, 100)", "sysex([F0 7D F7])".
std::string describe(const MIDIMessage& message);
void PrintTo(const MIDIMessage& message, std::ostream* out);

}  // namespace corvane
