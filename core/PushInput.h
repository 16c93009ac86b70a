#pragma once
// One Push 3 control event, decoded from a MIDI message.

#include "core/MIDIMessage.h"
#include "core/PushMIDIMap.h"

#include <cstdint>
#include <utility>
#include <variant>

namespace corvane {

struct PushInput {
    // Indices, rows and columns are 0-7. Deltas are -64...63.
    struct TrackEncoder {
        std::int64_t index, delta;
        bool operator==(const TrackEncoder&) const = default;
    };
    struct TrackEncoderTouch {
        std::int64_t index;
        bool touched;
        bool operator==(const TrackEncoderTouch&) const = default;
    };
    struct VolumeEncoder {
        std::int64_t delta;
        bool operator==(const VolumeEncoder&) const = default;
    };
    struct VolumeEncoderTouch {
        bool touched;
        bool operator==(const VolumeEncoderTouch&) const = default;
    };
    struct TempoEncoder {
        std::int64_t delta;
        bool operator==(const TempoEncoder&) const = default;
    };
    struct TempoEncoderTouch {
        bool touched;
        bool operator==(const TempoEncoderTouch&) const = default;
    };
    struct JogWheel {
        std::int64_t delta;
        bool operator==(const JogWheel&) const = default;
    };
    struct JogWheelTouch {
        bool touched;
        bool operator==(const JogWheelTouch&) const = default;
    };
    struct UpperDisplayButton {
        std::int64_t index;
        bool pressed;
        bool operator==(const UpperDisplayButton&) const = default;
    };
    struct LowerDisplayButton {
        std::int64_t index;
        bool pressed;
        bool operator==(const LowerDisplayButton&) const = default;
    };
    // Index 0 is the top button (controller 43).
    struct SceneButton {
        std::int64_t index;
        bool pressed;
        bool operator==(const SceneButton&) const = default;
    };
    struct Button {
        PushMIDIMap::Button button;
        bool pressed;
        bool operator==(const Button&) const = default;
    };
    // Velocity 0 is a release.
    struct Pad {
        std::int64_t row, column, velocity;
        bool operator==(const Pad&) const = default;
    };
    struct PadPressure {
        std::int64_t row, column, pressure;
        bool operator==(const PadPressure&) const = default;
    };
    struct ChannelPressure {
        std::int64_t pressure;
        bool operator==(const ChannelPressure&) const = default;
    };
    struct TouchStrip {
        std::int64_t value;  // 0...16383
        bool operator==(const TouchStrip&) const = default;
    };
    struct TouchStripTouch {
        bool touched;
        bool operator==(const TouchStripTouch&) const = default;
    };
    struct DpadCentreTouch {
        bool touched;
        bool operator==(const DpadCentreTouch&) const = default;
    };
    // Anything the map does not name, as received.
    struct Unmapped {
        MIDIMessage message;
        bool operator==(const Unmapped&) const = default;
    };

    using Case = std::variant<TrackEncoder, TrackEncoderTouch, VolumeEncoder, VolumeEncoderTouch,
                              TempoEncoder, TempoEncoderTouch, JogWheel, JogWheelTouch,
                              UpperDisplayButton, LowerDisplayButton, SceneButton, Button, Pad,
                              PadPressure, ChannelPressure, TouchStrip, TouchStripTouch,
                              DpadCentreTouch, Unmapped>;
    Case value;

    static PushInput trackEncoder(std::int64_t index, std::int64_t delta) { return {TrackEncoder{index, delta}}; }
    static PushInput trackEncoderTouch(std::int64_t index, bool touched) {
        return {TrackEncoderTouch{index, touched}};
    }
    static PushInput volumeEncoder(std::int64_t delta) { return {VolumeEncoder{delta}}; }
    static PushInput volumeEncoderTouch(bool touched) { return {VolumeEncoderTouch{touched}}; }
    static PushInput tempoEncoder(std::int64_t delta) { return {TempoEncoder{delta}}; }
    static PushInput tempoEncoderTouch(bool touched) { return {TempoEncoderTouch{touched}}; }
    static PushInput jogWheel(std::int64_t delta) { return {JogWheel{delta}}; }
    static PushInput jogWheelTouch(bool touched) { return {JogWheelTouch{touched}}; }
    static PushInput upperDisplayButton(std::int64_t index, bool pressed) {
        return {UpperDisplayButton{index, pressed}};
    }
    static PushInput lowerDisplayButton(std::int64_t index, bool pressed) {
        return {LowerDisplayButton{index, pressed}};
    }
    static PushInput sceneButton(std::int64_t index, bool pressed) { return {SceneButton{index, pressed}}; }
    static PushInput button(PushMIDIMap::Button button, bool pressed) { return {Button{button, pressed}}; }
    static PushInput pad(std::int64_t row, std::int64_t column, std::int64_t velocity) {
        return {Pad{row, column, velocity}};
    }
    static PushInput padPressure(std::int64_t row, std::int64_t column, std::int64_t pressure) {
        return {PadPressure{row, column, pressure}};
    }
    static PushInput channelPressure(std::int64_t pressure) { return {ChannelPressure{pressure}}; }
    static PushInput touchStrip(std::int64_t value) { return {TouchStrip{value}}; }
    static PushInput touchStripTouch(bool touched) { return {TouchStripTouch{touched}}; }
    static PushInput dpadCentreTouch(bool touched) { return {DpadCentreTouch{touched}}; }
    static PushInput unmapped(MIDIMessage message) { return {Unmapped{std::move(message)}}; }

    template <class T>
    const T* as() const {
        return std::get_if<T>(&value);
    }
    template <class T>
    bool is() const {
        return std::holds_alternative<T>(value);
    }

    bool operator==(const PushInput&) const = default;
};

}  // namespace corvane
