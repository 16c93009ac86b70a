// Decodes and routes every message parsed from the input and checks that the two agree.

#include "core/MIDIMessage.h"
#include "core/MIDIStreamParser.h"
#include "core/PushInputDecoder.h"
#include "core/Router.h"
#include "fuzz/Check.h"

#include <cstddef>
#include <cstdint>

namespace {

using namespace corvane;

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MIDIStreamParser parser;
    parser.feed(data, size, [](const MIDIMessage& message) { decodeAndRoute(message); });
    return 0;
}
