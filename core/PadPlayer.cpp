#include "core/PadPlayer.h"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <mutex>
#include <utility>

#include "core/PadEngine.h"
#include "platform/Clock.h"

namespace corvane {

namespace {

constexpr std::uint8_t firstPadNote = 36;
constexpr std::uint8_t lastPadNote = 99;
constexpr double slowestTempo = 20.0;
// A tick this much early still plays; the timer never fires early, so only a clock that
// disagrees by a hair gets here.
constexpr double earlyTolerance = 0.0005;
// A timer on a running machine fires within milliseconds. A step to play later than a whole step,
// and than this (a hiccup at the fastest rates), means nothing ran meanwhile: the machine was
// stopped or suspended, and a held pad's release may still be unread, or lost.
constexpr double frozenLateness = 0.1;

constexpr std::uint8_t noteOffStatus = 0x80;
constexpr std::uint8_t noteOnStatus = 0x90;
constexpr std::uint8_t polyPressureStatus = 0xA0;

bool isPadNote(std::uint8_t note) { return note >= firstPadNote && note <= lastPadNote; }

std::uint16_t keyOf(std::uint8_t channel, std::uint8_t note) {
    return static_cast<std::uint16_t>(channel * 256 + note);
}

std::uint8_t channelOf(std::uint16_t key) { return static_cast<std::uint8_t>(key >> 8); }
std::uint8_t noteOf(std::uint16_t key) { return static_cast<std::uint8_t>(key & 0xFF); }

std::optional<std::uint8_t> padNote(std::uint8_t incoming, const PadSettings& settings) {
    const int index = incoming - firstPadNote;
    return PadEngine::note(index / 8, index % 8, settings);
}

}  // namespace

PadPlayer::PadPlayer(Config config, SendNote sendNote, SendLED sendLED, Clock clock,
                     RepeatSchedule onRepeatSchedule)
    : config_(std::move(config)),
      // Called for every note: wrapped only where there is nothing to call.
      host_(sendNote ? std::move(sendNote) : [](std::span<const std::uint8_t>) { return true; }),
      sendLED_(std::move(sendLED)),
      clock_(clock ? std::move(clock) : Clock(&PadPlayer::uptime)),
      onRepeatSchedule_(std::move(onRepeatSchedule)) {}

double PadPlayer::uptime() { return static_cast<double>(MonotonicClock::nanoseconds()) / 1e9; }

double PadPlayer::step(double tempo, RepeatRate rate) {
    // std::max(NaN, 20.0) is NaN, and an infinite tempo gives a zero step that would repeat
    // as fast as the timer can fire.
    const double bpm = std::isfinite(tempo) ? std::max(tempo, slowestTempo) : slowestTempo;
    return 60.0 / bpm * beats(rate) * 0.5;
}

PadPlayer::Config PadPlayer::currentConfig() const {
    std::lock_guard guard(lock_);
    return config_;
}

void PadPlayer::update(const std::function<void(Config&)>& change) {
    std::lock_guard guard(lock_);
    const bool wasOn = config_.repeatOn;
    change(config_);
    if (!wasOn && config_.repeatOn && !held_.empty()) {
        armRepeat();
    } else if (wasOn && !config_.repeatOn && nextTick_) {
        // Sounding voices stay; their pads' releases end them.
        disarmRepeat();
    }
    refreshLEDsLocked();
}

void PadPlayer::refreshLEDs() {
    std::lock_guard guard(lock_);
    refreshLEDsLocked();
}

void PadPlayer::handle(const MIDIMessage& message) {
    std::lock_guard guard(lock_);
    if (const auto* on = message.as<MIDIMessage::NoteOn>(); on && isPadNote(on->note)) {
        if (on->velocity > 0) {
            press(on->channel, on->note, on->velocity);
        } else {
            release(on->channel, on->note, 0, true);
        }
    } else if (const auto* off = message.as<MIDIMessage::NoteOff>(); off && isPadNote(off->note)) {
        release(off->channel, off->note, off->velocity, false);
    } else if (const auto* poly = message.as<MIDIMessage::PolyPressure>(); poly && isPadNote(poly->note)) {
        const auto found = held_.find(keyOf(poly->channel, poly->note));
        if (found == held_.end()) return;
        Held& pad = found->second;
        pad.pressure = poly->pressure > 0 ? std::optional<std::uint8_t>(poly->pressure) : std::nullopt;
        send(static_cast<std::uint8_t>(polyPressureStatus | poly->channel), pad.note, poly->pressure);
    } else {
        if (const auto* pressure = message.as<MIDIMessage::ChannelPressure>()) {
            for (auto& [key, pad] : held_) {
                if (pad.channel != pressure->channel) continue;
                pad.pressure =
                    pressure->pressure > 0 ? std::optional<std::uint8_t>(pressure->pressure) : std::nullopt;
            }
        }
        host_.send(message.bytes());
    }
}

void PadPlayer::press(std::uint8_t channel, std::uint8_t incoming, std::uint8_t velocity) {
    const std::optional<std::uint8_t> note = padNote(incoming, config_.settings);
    if (!note) return;
    const std::uint8_t level = config_.accent ? 127 : velocity;
    const std::uint16_t key = keyOf(channel, incoming);

    // A second note-on without a note-off: forget the first press before playing again.
    if (const auto found = held_.find(key); found != held_.end()) {
        const std::uint8_t oldNote = found->second.note;
        held_.erase(found);
        if (!anotherHeldSounds(channel, oldNote) && voices_.erase(keyOf(channel, oldNote)) > 0) {
            send(static_cast<std::uint8_t>(noteOffStatus | channel), oldNote, 0);
        }
    }

    send(static_cast<std::uint8_t>(noteOnStatus | channel), *note, level);
    held_[key] = Held{channel, *note, level, std::nullopt};
    const bool starts = config_.repeatOn && !nextTick_;
    voices_[keyOf(channel, *note)] = starts;
    // The first step releases the note just played.
    if (starts) armRepeat();
    refreshLEDsLocked();
}

void PadPlayer::release(std::uint8_t channel, std::uint8_t incoming, std::uint8_t velocity, bool noteOnForm) {
    const auto found = held_.find(keyOf(channel, incoming));
    if (found == held_.end()) return;
    const std::uint8_t note = found->second.note;
    held_.erase(found);

    // A note still held on another pad keeps sounding. One that a repeat step already ended
    // gets no second note-off.
    if (!anotherHeldSounds(channel, note) && voices_.erase(keyOf(channel, note)) > 0) {
        if (noteOnForm) {
            send(static_cast<std::uint8_t>(noteOnStatus | channel), note, 0);
        } else {
            send(static_cast<std::uint8_t>(noteOffStatus | channel), note, velocity);
        }
    }
    if (held_.empty() && nextTick_) disarmRepeat();
    refreshLEDsLocked();
}

bool PadPlayer::anotherHeldSounds(std::uint8_t channel, std::uint8_t note) const {
    return std::any_of(held_.begin(), held_.end(), [&](const auto& entry) {
        return entry.second.channel == channel && entry.second.note == note;
    });
}

void PadPlayer::tick() {
    std::lock_guard guard(lock_);
    const double now = clock_();
    if (!nextTick_) return;
    if (now < *nextTick_ - earlyTolerance) {
        scheduleRepeat(nextTick_);
        return;
    }
    if (!config_.repeatOn || held_.empty()) {
        disarmRepeat();
        return;
    }

    if (nextTickPlays_ && now - *nextTick_ > std::max(currentStep(), frozenLateness)) {
        // Skipped, not played: the next step plays what is still held then. An ending is always
        // safe to send late.
        nextTick_ = now + currentStep();
        scheduleRepeat(nextTick_);
        return;
    }

    if (!nextTickPlays_) {
        for (auto it = voices_.begin(); it != voices_.end();) {
            if (it->second) {
                send(static_cast<std::uint8_t>(noteOffStatus | channelOf(it->first)), noteOf(it->first), 0);
                it = voices_.erase(it);
            } else {
                ++it;
            }
        }
    } else {
        // Pads sharing a note play it once, at the highest of their levels.
        std::map<std::uint16_t, std::uint8_t> levels;
        for (const auto& [key, pad] : held_) {
            const std::uint8_t level = config_.accent ? 127 : pad.pressure.value_or(pad.velocity);
            auto [entry, inserted] = levels.try_emplace(keyOf(pad.channel, pad.note), level);
            if (!inserted) entry->second = std::max(entry->second, level);
        }
        for (const auto& [key, level] : levels) {
            const std::uint8_t channel = channelOf(key), note = noteOf(key);
            if (voices_.contains(key)) send(static_cast<std::uint8_t>(noteOffStatus | channel), note, 0);
            send(static_cast<std::uint8_t>(noteOnStatus | channel), note, level);
            voices_[key] = true;
        }
    }
    nextTickPlays_ = !nextTickPlays_;

    // Counted from the scheduled time, so the timer's lateness does not add up.
    double next = *nextTick_ + currentStep();
    if (next <= now) next = now;
    nextTick_ = next;
    scheduleRepeat(next);
}

void PadPlayer::releaseAll() {
    std::lock_guard guard(lock_);
    for (const auto& [key, inRepeat] : voices_) {
        send(static_cast<std::uint8_t>(noteOffStatus | channelOf(key)), noteOf(key), 0);
    }
    voices_.clear();
    held_.clear();
    if (nextTick_) disarmRepeat();
    host_.bringToRest();
}

HeldAtHost::Resent PadPlayer::resendToHost(std::size_t atMost) {
    std::lock_guard guard(lock_);
    return host_.resend(atMost);
}

bool PadPlayer::hostResendWaiting() const {
    std::lock_guard guard(lock_);
    return host_.resendWaiting();
}

std::vector<PadPlayer::SoundingNote> PadPlayer::soundingNotes() const {
    std::lock_guard guard(lock_);
    std::vector<SoundingNote> notes;
    notes.reserve(voices_.size());
    for (const auto& [key, inRepeat] : voices_) notes.push_back({channelOf(key), noteOf(key)});
    return notes;
}

void PadPlayer::armRepeat() {
    nextTick_ = clock_() + currentStep();
    nextTickPlays_ = false;
    scheduleRepeat(nextTick_);
}

void PadPlayer::disarmRepeat() {
    nextTick_.reset();
    scheduleRepeat(std::nullopt);
}

void PadPlayer::refreshLEDsLocked() {
    std::bitset<128> heldNotes;
    for (const auto& [key, pad] : held_) heldNotes.set(pad.note);
    const PadSettings& settings = config_.settings;
    for (int i = 0; i < 64; ++i) {
        const int row = i / 8, column = i % 8;
        std::uint8_t colour = 0;
        if (!config_.dark) {
            const std::optional<std::uint8_t> note =
                heldNotes.any() ? PadEngine::note(row, column, settings) : std::nullopt;
            colour = note && heldNotes.test(*note) ? config_.colors.pressed
                                                   : PadEngine::color(row, column, settings, config_.colors);
        }
        auto& sent = ledsSent_[static_cast<std::size_t>(i)];
        if (sent == colour) continue;
        sent = colour;
        if (sendLED_) sendLED_(MIDIMessage::noteOn(0, static_cast<std::uint8_t>(firstPadNote + i), colour));
    }
}

void PadPlayer::send(std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
    const std::array<std::uint8_t, 3> bytes{status, data1, data2};
    host_.send(bytes);
}

void PadPlayer::scheduleRepeat(std::optional<double> time) {
    if (onRepeatSchedule_) onRepeatSchedule_(time);
}

double PadPlayer::currentStep() const { return step(config_.tempo, config_.repeatRate); }

}  // namespace corvane
