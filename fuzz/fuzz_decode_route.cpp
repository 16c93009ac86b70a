// Decodes and routes every message built from the input and checks that the two agree.

#include "core/MIDIMessage.h"
#include "core/PushInputDecoder.h"
#include "core/Router.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

using namespace corvane;

void check(bool condition) {
    if (!condition) std::abort();
}

void decodeAndRoute(const MIDIMessage& message) {
    const PushInput input = PushInputDecoder::decode(message);
    const Route plain = Router::route(message);
    check(Router::route(message, true) == plain);
    const Route repeatOff = Router::route(message, false);
    check(repeatOff == plain || (plain == Route::local && repeatOff == Route::control));

    if (const auto* u = input.as<PushInput::Unmapped>()) check(u->message == message);
    if (input.is<PushInput::Pad>() || input.is<PushInput::PadPressure>() || input.is<PushInput::TouchStrip>() ||
        input.is<PushInput::ChannelPressure>())
        check(plain == Route::performance);
    if (const auto* t = input.as<PushInput::TrackEncoderTouch>()) check(plain == Route::control && t->index < 8);
    if (const auto* e = input.as<PushInput::TrackEncoder>()) check(e->delta >= -64 && e->delta <= 63);
    if (const auto* b = input.as<PushInput::Button>())
        check(PushMIDIMap::button(PushMIDIMap::controller(b->button)) == b->button);
    if (plain == Route::local) check(message.is<MIDIMessage::ControlChange>());
}

// Seven kinds of channel message from three bytes each, plus system exclusive and others.
MIDIMessage build(const std::uint8_t* data, std::size_t& at, std::size_t size) {
    auto next = [&]() -> std::uint8_t { return at < size ? data[at++] : 0; };
    const std::uint8_t status = next();
    const auto channel = static_cast<std::uint8_t>(status & 0x0F);
    const std::uint8_t a = next() & 0x7F;
    const std::uint8_t b = next() & 0x7F;
    switch (status >> 4) {
        case 0x8: return MIDIMessage::noteOff(channel, a, b);
        case 0x9: return MIDIMessage::noteOn(channel, a, b);
        case 0xA: return MIDIMessage::polyPressure(channel, a, b);
        case 0xB: return MIDIMessage::controlChange(channel, a, b);
        case 0xC: return MIDIMessage::programChange(channel, a);
        case 0xD: return MIDIMessage::channelPressure(channel, a);
        case 0xE: return MIDIMessage::pitchBend(channel, static_cast<std::uint16_t>(a | b << 7));
        default:
            return status == 0xF0 ? MIDIMessage::sysex({0xF0, a, b, 0xF7}) : MIDIMessage::other({status});
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::size_t at = 0;
    while (at < size) decodeAndRoute(build(data, at, size));
    return 0;
}
