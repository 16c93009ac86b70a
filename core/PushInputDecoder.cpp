#include "core/PushInputDecoder.h"

#include "core/Overloaded.h"

#include <array>

namespace corvane::PushInputDecoder {

namespace {

using namespace PushMIDIMap;

enum class ControlKind : std::uint8_t {
    unmapped,
    trackEncoder,
    upperDisplayButton,
    lowerDisplayButton,
    sceneButton,
    tempoEncoder,
    jogWheel,
    volumeEncoder,
    button,
};

enum class TouchKind : std::uint8_t {
    unmapped,
    trackEncoder,
    volumeEncoder,
    tempoEncoder,
    jogWheel,
    touchStrip,
    dpadCentre,
    pad,
};

template <class Kind>
struct Entry {
    Kind kind{};
    std::uint8_t index = 0;
};

// What each controller number on the live channel is.
struct ControlTable {
    std::array<Entry<ControlKind>, 128> entries{};
    constexpr ControlTable() {
        for (auto b : allButtons) entries[controller(b)] = {ControlKind::button, 0};
        fill(trackEncoderCCs, ControlKind::trackEncoder);
        fill(upperDisplayButtonCCs, ControlKind::upperDisplayButton);
        fill(lowerDisplayButtonCCs, ControlKind::lowerDisplayButton);
        // The top scene button has the highest controller number.
        for (unsigned c = sceneButtonCCs.lower; c <= sceneButtonCCs.upper; ++c)
            entries[c] = {ControlKind::sceneButton, static_cast<std::uint8_t>(sceneButtonCCs.upper - c)};
        entries[tempoEncoderCC] = {ControlKind::tempoEncoder, 0};
        entries[jogWheelCC] = {ControlKind::jogWheel, 0};
        entries[volumeEncoderCC] = {ControlKind::volumeEncoder, 0};
    }
    constexpr void fill(MIDINumberRange range, ControlKind kind) {
        for (unsigned c = range.lower; c <= range.upper; ++c)
            entries[c] = {kind, static_cast<std::uint8_t>(c - range.lower)};
    }
};

// What each note number on the live channel is.
struct TouchTable {
    std::array<Entry<TouchKind>, 128> entries{};
    constexpr TouchTable() {
        for (unsigned n = trackEncoderTouchNotes.lower; n <= trackEncoderTouchNotes.upper; ++n)
            entries[n] = {TouchKind::trackEncoder, static_cast<std::uint8_t>(n - trackEncoderTouchNotes.lower)};
        entries[volumeEncoderTouchNote] = {TouchKind::volumeEncoder, 0};
        entries[tempoEncoderTouchNote] = {TouchKind::tempoEncoder, 0};
        entries[jogWheelTouchNote] = {TouchKind::jogWheel, 0};
        entries[touchStripTouchNote] = {TouchKind::touchStrip, 0};
        entries[dpadCentreTouchNote] = {TouchKind::dpadCentre, 0};
        for (unsigned n = padNotes.lower; n <= padNotes.upper; ++n) entries[n] = {TouchKind::pad, 0};
    }
};

constexpr ControlTable controlTable;
constexpr TouchTable touchTable;

constexpr bool isPress(std::uint8_t value) { return (value & 0xC0) != 0; }

PushInput decodeControl(const MIDIMessage& message, const MIDIMessage::ControlChange& cc) {
    if (cc.controller >= 128) return PushInput::unmapped(message);
    const auto [kind, index] = controlTable.entries[cc.controller];
    switch (kind) {
        case ControlKind::trackEncoder: return PushInput::trackEncoder(index, relativeDelta(cc.value));
        case ControlKind::upperDisplayButton: return PushInput::upperDisplayButton(index, isPress(cc.value));
        case ControlKind::lowerDisplayButton: return PushInput::lowerDisplayButton(index, isPress(cc.value));
        case ControlKind::sceneButton: return PushInput::sceneButton(index, isPress(cc.value));
        case ControlKind::tempoEncoder: return PushInput::tempoEncoder(relativeDelta(cc.value));
        case ControlKind::jogWheel: return PushInput::jogWheel(relativeDelta(cc.value));
        case ControlKind::volumeEncoder: return PushInput::volumeEncoder(relativeDelta(cc.value));
        case ControlKind::button:
            return PushInput::button(static_cast<PushMIDIMap::Button>(cc.controller), isPress(cc.value));
        case ControlKind::unmapped: break;
    }
    return PushInput::unmapped(message);
}

// A note-on with velocity 0 and a note-off both arrive here with velocity 0.
PushInput decodeNote(const MIDIMessage& message, std::uint8_t note, std::uint8_t velocity) {
    if (note >= 128) return PushInput::unmapped(message);
    const auto [kind, index] = touchTable.entries[note];
    const bool touched = velocity != 0;
    switch (kind) {
        case TouchKind::trackEncoder: return PushInput::trackEncoderTouch(index, touched);
        case TouchKind::volumeEncoder: return PushInput::volumeEncoderTouch(touched);
        case TouchKind::tempoEncoder: return PushInput::tempoEncoderTouch(touched);
        case TouchKind::jogWheel: return PushInput::jogWheelTouch(touched);
        case TouchKind::touchStrip: return PushInput::touchStripTouch(touched);
        case TouchKind::dpadCentre: return PushInput::dpadCentreTouch(touched);
        case TouchKind::pad: {
            const auto position = *padPosition(note);
            return PushInput::pad(position.row, position.column, velocity);
        }
        case TouchKind::unmapped: break;
    }
    return PushInput::unmapped(message);
}

}  // namespace

PushInput decode(const MIDIMessage& message) {
    return std::visit(
        Overloaded{
            [&](const MIDIMessage::ControlChange& m) {
                return m.channel == liveChannel ? decodeControl(message, m) : PushInput::unmapped(message);
            },
            [&](const MIDIMessage::NoteOn& m) {
                return m.channel == liveChannel ? decodeNote(message, m.note, m.velocity)
                                                : PushInput::unmapped(message);
            },
            [&](const MIDIMessage::NoteOff& m) {
                // The release velocity is not kept.
                return m.channel == liveChannel ? decodeNote(message, m.note, 0) : PushInput::unmapped(message);
            },
            [&](const MIDIMessage::PolyPressure& m) {
                const auto position = padPosition(m.note);
                if (m.channel != liveChannel || !position) return PushInput::unmapped(message);
                return PushInput::padPressure(position->row, position->column, m.pressure);
            },
            [&](const MIDIMessage::ChannelPressure& m) {
                return m.channel == liveChannel ? PushInput::channelPressure(m.pressure)
                                                : PushInput::unmapped(message);
            },
            [&](const MIDIMessage::PitchBend& m) {
                return m.channel == liveChannel ? PushInput::touchStrip(m.value) : PushInput::unmapped(message);
            },
            [&](const auto&) { return PushInput::unmapped(message); },
        },
        message.value);
}

}  // namespace corvane::PushInputDecoder
