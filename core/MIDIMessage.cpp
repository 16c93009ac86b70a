#include "core/MIDIMessage.h"

#include <initializer_list>
#include <ostream>
#include <string>

#include "core/Hex.h"
#include "core/Overloaded.h"

namespace corvane {

namespace {

std::uint8_t status(std::uint8_t kind, std::uint8_t channel) {
    return static_cast<std::uint8_t>(kind | channel);
}

std::string call(const char* name, std::initializer_list<unsigned> values) {
    std::string text = name;
    text += '(';
    bool first = true;
    for (unsigned v : values) {
        if (!first) text += ", ";
        first = false;
        text += std::to_string(v);
    }
    return text + ')';
}

}  // namespace

Bytes MIDIMessage::bytes() const {
    return std::visit(
        Overloaded{
            [](const NoteOff& m) { return Bytes{status(0x80, m.channel), m.note, m.velocity}; },
            [](const NoteOn& m) { return Bytes{status(0x90, m.channel), m.note, m.velocity}; },
            [](const PolyPressure& m) { return Bytes{status(0xA0, m.channel), m.note, m.pressure}; },
            [](const ControlChange& m) { return Bytes{status(0xB0, m.channel), m.controller, m.value}; },
            [](const ProgramChange& m) { return Bytes{status(0xC0, m.channel), m.program}; },
            [](const ChannelPressure& m) { return Bytes{status(0xD0, m.channel), m.pressure}; },
            [](const PitchBend& m) {
                return Bytes{status(0xE0, m.channel), static_cast<std::uint8_t>(m.value & 0x7F),
                             static_cast<std::uint8_t>((m.value >> 7) & 0x7F)};
            },
            [](const Sysex& m) { return m.bytes; },
            [](const Other& m) { return m.bytes; },
        },
        value);
}

std::string describe(const MIDIMessage& message) {
    return std::visit(
        Overloaded{
            [](const MIDIMessage::NoteOff& m) { return call("noteOff", {m.channel, m.note, m.velocity}); },
            [](const MIDIMessage::NoteOn& m) { return call("noteOn", {m.channel, m.note, m.velocity}); },
            [](const MIDIMessage::PolyPressure& m) { return call("polyPressure", {m.channel, m.note, m.pressure}); },
            [](const MIDIMessage::ControlChange& m) {
                return call("controlChange", {m.channel, m.controller, m.value});
            },
            [](const MIDIMessage::ProgramChange& m) { return call("programChange", {m.channel, m.program}); },
            [](const MIDIMessage::ChannelPressure& m) { return call("channelPressure", {m.channel, m.pressure}); },
            [](const MIDIMessage::PitchBend& m) { return call("pitchBend", {m.channel, m.value}); },
            [](const MIDIMessage::Sysex& m) { return "sysex([" + Hex::bytes(m.bytes) + "])"; },
            [](const MIDIMessage::Other& m) { return "other([" + Hex::bytes(m.bytes) + "])"; },
        },
        message.value);
}

void PrintTo(const MIDIMessage& message, std::ostream* out) { *out << describe(message); }

}  // namespace corvane
