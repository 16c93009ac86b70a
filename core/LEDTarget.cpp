#include "core/LEDTarget.h"

namespace corvane {

MIDIMessage LEDTarget::message(std::uint8_t ledValue) const {
    if (const auto* c = as<CC>()) return MIDIMessage::controlChange(0, c->number, ledValue);
    return MIDIMessage::noteOn(0, std::get<Note>(value).number, ledValue);
}

}  // namespace corvane
