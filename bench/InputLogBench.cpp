// Cost of the input path on the receive thread, and of one log call on the caller's thread.

#include "core/MIDIMessage.h"
#include "core/PushInputDecoder.h"
#include "core/Router.h"

#include <benchmark/benchmark.h>

#include <array>

namespace corvane {
namespace {

// An encoder turn, a pad hit, a button press and a scene button: the usual traffic.
const std::array<MIDIMessage, 4> traffic{
    MIDIMessage::controlChange(0, 71, 1),
    MIDIMessage::noteOn(0, 52, 100),
    MIDIMessage::controlChange(0, 85, 127),
    MIDIMessage::controlChange(0, 40, 127),
};

void BM_DecodeAndRoute(benchmark::State& state) {
    std::size_t i = 0;
    for (auto _ : state) {
        const auto& message = traffic[i++ % traffic.size()];
        benchmark::DoNotOptimize(Router::route(message, false));
        benchmark::DoNotOptimize(PushInputDecoder::decode(message));
    }
}
BENCHMARK(BM_DecodeAndRoute);

}  // namespace
}  // namespace corvane
