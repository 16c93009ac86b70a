#include "core/LEDShadow.h"

namespace corvane {

namespace {

constexpr std::uint8_t lastChannel = 15;

}  // namespace

void LEDShadow::record(const MIDIMessage& message) {
    std::uint8_t channel = 0, value = 0;
    LED led{};
    if (const auto* on = message.as<MIDIMessage::NoteOn>()) {
        led = {true, on->note};
        channel = on->channel;
        value = on->velocity;
    } else if (const auto* off = message.as<MIDIMessage::NoteOff>()) {
        led = {true, off->note};
        channel = off->channel;
    } else if (const auto* cc = message.as<MIDIMessage::ControlChange>()) {
        led = {false, cc->controller};
        channel = cc->channel;
        value = cc->value;
    } else {
        return;
    }

    if (channel == 0) {
        staticState_[led] = value;
        animations_.erase(led);
    } else if (channel <= lastChannel) {
        animations_[led][channel] = value;
    }
}

void LEDShadow::reset() {
    staticState_.clear();
    animations_.clear();
}

std::vector<MIDIMessage> LEDShadow::replay() const {
    std::vector<MIDIMessage> messages;
    messages.reserve(count());
    for (const auto& [led, value] : staticState_) messages.push_back(message(led, 0, value));
    for (const auto& [led, channels] : animations_) {
        for (const auto& [channel, value] : channels) messages.push_back(message(led, channel, value));
    }
    return messages;
}

std::vector<MIDIMessage> LEDShadow::replayFrom(Cursor& cursor, std::size_t count) const {
    std::vector<MIDIMessage> messages;
    if (cursor.finished_) return messages;
    messages.reserve(count);
    if (!cursor.animations_) {
        auto it = cursor.led_ ? staticState_.upper_bound(*cursor.led_) : staticState_.begin();
        for (; it != staticState_.end() && messages.size() < count; ++it) {
            messages.push_back(message(it->first, 0, it->second));
            cursor.led_ = it->first;
        }
        if (it != staticState_.end()) return messages;
        cursor.animations_ = true;
        cursor.led_.reset();
    }
    auto it = cursor.led_ ? animations_.lower_bound(*cursor.led_) : animations_.begin();
    for (; it != animations_.end() && messages.size() < count; ++it) {
        const auto& channels = it->second;
        auto channel = cursor.led_ == it->first ? channels.upper_bound(cursor.channel_) : channels.begin();
        for (; channel != channels.end() && messages.size() < count; ++channel) {
            messages.push_back(message(it->first, channel->first, channel->second));
            cursor.led_ = it->first;
            cursor.channel_ = channel->first;
        }
        if (channel != channels.end()) return messages;
    }
    cursor.finished_ = it == animations_.end();
    return messages;
}

std::size_t LEDShadow::count() const {
    std::size_t total = staticState_.size();
    for (const auto& [led, channels] : animations_) total += channels.size();
    return total;
}

MIDIMessage LEDShadow::message(LED led, std::uint8_t channel, std::uint8_t value) {
    return led.isNote ? MIDIMessage::noteOn(channel, led.number, value)
                      : MIDIMessage::controlChange(channel, led.number, value);
}

}  // namespace corvane
