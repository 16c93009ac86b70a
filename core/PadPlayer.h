#pragma once
// Plays the Push's pads as an instrument: maps each pad to a note with the current pad settings,
// keeps every note-on paired with exactly one note-off, passes pad pressure on, applies accent,
// plays note repeat in time with the host tempo and keeps the 64 pad LEDs showing the scale, the
// root and the pressed pads. It knows what the host is left holding (notes, pedals, bend,
// pressure), so that releaseAll() leaves nothing held, and it sends again what the host refused
// or lost: note-offs and the latest value of every control, never a note-on late.
//
// Fed from three threads at once (MIDI receive, the repeat timer, the main queue), it guards
// all its state with one lock and calls its callbacks with that lock held: they must return
// promptly and never call back into the player. The lock inherits priority, because the timer's
// thread may be a real-time one that would otherwise wait behind a pad or settings holder that
// the load keeps off the CPU.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <vector>

#include "core/HeldAtHost.h"
#include "core/MIDIMessage.h"
#include "core/PadColors.h"
#include "core/PadSettings.h"
#include "core/RepeatRate.h"
#include "platform/PIMutex.h"

namespace corvane {

class PadPlayer {
public:
    struct Config {
        PadSettings settings;
        PadColors colors = PadColors::standard;
        bool accent = false;
        bool repeatOn = false;
        RepeatRate repeatRate = RepeatRate::sixteenth;
        double tempo = 120.0;  // beats per minute
        bool dark = false;     // every pad LED off while the pads still play

        bool operator==(const Config&) const = default;
    };

    struct SoundingNote {
        std::uint8_t channel, note;
        bool operator==(const SoundingNote&) const = default;
    };

    // The bytes of one MIDI message for the notes port; false when the host's full input refused
    // it (a later send may go through).
    using SendNote = std::function<bool(std::span<const std::uint8_t>)>;
    using SendLED = std::function<void(const MIDIMessage&)>;
    // Seconds of monotonic uptime.
    using Clock = std::function<double()>;
    // When tick() should run next; absent when no tick is pending.
    using RepeatSchedule = std::function<void(std::optional<double>)>;

    // Nothing held, nothing sounding, no LED sent, no tick pending; sends nothing. An empty
    // clock stands for uptime().
    PadPlayer(Config config, SendNote sendNote, SendLED sendLED, Clock clock = {},
              RepeatSchedule onRepeatSchedule = {});
    PadPlayer(const PadPlayer&) = delete;
    PadPlayer& operator=(const PadPlayer&) = delete;

    Config currentConfig() const;

    // Changes the config in place under the lock, starting or stopping note repeat as needed,
    // and refreshes the pad LEDs.
    void update(const std::function<void(Config&)>& change);

    // Sends the pad LEDs that differ from what was last sent.
    void refreshLEDs();

    // One message of the pads' channels: pad notes, pressure, and everything else passed on.
    void handle(const MIDIMessage& message);

    // One note-repeat step; the repeat timer calls it. A step to play that comes far too late
    // (the machine froze: more than a step and 0.1 s) plays nothing, and the cycle starts again
    // from then.
    void tick();

    // Ends every sounding note, forgets every held pad, and brings every control passed on to the
    // host (pedals, bend, pressure) back to rest.
    void releaseAll();

    // Sends again up to `atMost` of the note-offs and control values the host refused or may
    // have lost, stopping at the first it refuses.
    HeldAtHost::Resent resendToHost(std::size_t atMost);
    bool hostResendWaiting() const;

    // In ascending (channel, note) order.
    std::vector<SoundingNote> soundingNotes() const;

    // The system's monotonic uptime in seconds.
    static double uptime();

    // Half a repeat period at this tempo and rate: a repeated note sounds for one step and
    // rests for the next. Tempos below 20, and tempos that are not finite, count as 20.
    static double step(double tempo, RepeatRate rate);

private:
    struct Held {
        std::uint8_t channel, note, velocity;
        std::optional<std::uint8_t> pressure;  // the last pressure above 0
    };

    void press(std::uint8_t channel, std::uint8_t padNote, std::uint8_t velocity);
    void release(std::uint8_t channel, std::uint8_t padNote, std::uint8_t velocity, bool noteOnForm);
    bool anotherHeldSounds(std::uint8_t channel, std::uint8_t note) const;
    void armRepeat();
    void disarmRepeat();
    void refreshLEDsLocked();
    void send(std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
    void scheduleRepeat(std::optional<double> time);
    double currentStep() const;

    mutable PIMutex lock_;
    Config config_;
    std::map<std::uint16_t, Held> held_;    // channel × 256 + incoming pad note
    std::map<std::uint16_t, bool> voices_;  // channel × 256 + sent note → belongs to the repeat cycle
    std::array<std::optional<std::uint8_t>, 64> ledsSent_{};
    std::optional<double> nextTick_;
    bool nextTickPlays_ = false;
    HeldAtHost host_;
    const SendLED sendLED_;
    const Clock clock_;
    const RepeatSchedule onRepeatSchedule_;
};

}  // namespace corvane
