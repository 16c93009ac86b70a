#pragma once
// A copy of every LED value sent to the Push, so that the LEDs can be put back when the Push
// reconnects and turned off at shutdown. The Push layers animations (channels 1-15) over a
// steady value (channel 0); both are kept. Holds no lock: its owner guards it.

#include <compare>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "core/MIDIMessage.h"

namespace corvane {

class LEDShadow {
    struct LED {
        bool isNote;  // lit by a note number rather than a control change
        std::uint8_t number;
        auto operator<=>(const LED&) const = default;
    };

public:
    // Where a replay in parts has got to; a new one starts at the beginning.
    class Cursor {
    public:
        bool finished() const { return finished_; }

    private:
        friend class LEDShadow;
        bool animations_ = false;   // past the steady values
        std::optional<LED> led_;    // the last LED given in the current part
        std::uint8_t channel_ = 0;  // and its last animation channel
        bool finished_ = false;
    };

    // Notes a note-on, note-off (value 0) or control change; other messages are ignored. A
    // steady value ends the LED's animations.
    void record(const MIDIMessage& message);

    void reset();

    // The messages that rebuild every recorded LED: the steady values, then the animations,
    // each with control-change LEDs before note LEDs in ascending number, animation channels in
    // ascending order.
    std::vector<MIDIMessage> replay() const;

    // Up to `count` messages of replay(), from where `cursor` is, with the values recorded now;
    // moves the cursor past them. LEDs recorded since behind the cursor are not given again.
    std::vector<MIDIMessage> replayFrom(Cursor& cursor, std::size_t count) const;

    // Steady values plus (LED, channel) animation entries.
    std::size_t count() const;

    bool operator==(const LEDShadow&) const = default;

private:
    static MIDIMessage message(LED led, std::uint8_t channel, std::uint8_t value);

    std::map<LED, std::uint8_t> staticState_;
    std::map<LED, std::map<std::uint8_t, std::uint8_t>> animations_;
};

}  // namespace corvane
