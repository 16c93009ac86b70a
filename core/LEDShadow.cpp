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
