#include "core/MIDIMessage.h"

#include "core/Overloaded.h"

namespace corvane {

namespace {

std::uint8_t status(std::uint8_t kind, std::uint8_t channel) {
    return static_cast<std::uint8_t>(kind | channel);
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

}  // namespace corvane
