// The tracks overview per frame: building its model from a full host state, and drawing it.

#include <benchmark/benchmark.h>

#include <string>

#include "PushDisplay/Canvas.h"
#include "PushDisplay/TracksScreen.h"
#include "PushDisplay/TracksScreenModel.h"
#include "core/RemoteState.h"
#include "core/StateKeys.h"

namespace corvane {
namespace {

using namespace StateKeys;

// Every key the overview reads, set as a busy session would have it.
void fillState(RemoteState& state) {
    const auto text = [&](StateKey key, std::string value) { state.set(key, StateValue::string(std::move(value))); };
    const auto number = [&](StateKey key, std::int64_t value) { state.set(key, StateValue::number(value)); };
    text(Transport::timeText, "  23. 3. 2.   120");
    text(Transport::tempoText, "128.00");
    text(Session::bankText, "9–16 of 24");
    text(Transport::cycleStartText, "17. 1. 1.   0");
    text(Transport::cycleEndText, "33. 1. 1.   0");
    number(Transport::playing, 1);
    number(Transport::recording, 1);
    number(Transport::cycle, 1);
    for (int i = 0; i < 8; ++i) {
        number(bankChannel(i, ChannelField::exists), 1);
        text(bankChannel(i, ChannelField::name), "Track with a long name " + std::to_string(i + 9));
        state.set(bankChannel(i, ChannelField::color),
                  StateValue::color(RGB{std::uint8_t(30 * i), 120, std::uint8_t(250 - 30 * i)}));
        number(bankChannel(i, ChannelField::mute), i % 2);
        number(bankChannel(i, ChannelField::solo), i % 3 == 0);
        number(bankChannel(i, ChannelField::recordArm), i == 4);
        number(bankChannel(i, ChannelField::selected), i == 2);
        number(bankChannel(i, ChannelField::meter), 2000 * i + 500);
    }
}

void BM_TracksModelFromState(benchmark::State& bench) {
    RemoteState state;
    fillState(state);
    for (auto _ : bench) {
        TracksScreenModel model(state);
        benchmark::DoNotOptimize(model);
    }
}
BENCHMARK(BM_TracksModelFromState)->Unit(benchmark::kMicrosecond);

void BM_TracksDrawFrame(benchmark::State& bench) {
    RemoteState state;
    fillState(state);
    const TracksScreenModel model(state);
    Canvas canvas;
    TracksScreen::draw(canvas, model);  // fonts made once, as in a running bridge
    for (auto _ : bench) {
        TracksScreen::draw(canvas, model);
        benchmark::DoNotOptimize(canvas.pixel(0, 0));
    }
}
BENCHMARK(BM_TracksDrawFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace corvane
