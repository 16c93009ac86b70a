// The LED update the bridge runs after a host-state change: a full plan and the diff against the
// plan last sent.

#include <benchmark/benchmark.h>

#include <string>
#include <utility>

#include "core/LEDPlan.h"
#include "core/RemoteState.h"
#include "core/StateKeys.h"

namespace corvane {
namespace {

using namespace StateKeys;

// A connected session on the mix page, showing mute in the lower row, with a full bank.
void fillMixSession(RemoteState& state) {
    state.set(Session::page, StateValue::number(static_cast<int>(Page::mix)));
    state.set(Session::lowerMode, StateValue::number(1));
    state.set(Session::mixMode, StateValue::number(2));
    for (int i = 0; i < 8; ++i) {
        state.set(bankChannel(i, ChannelField::exists), StateValue::number(1));
        state.set(bankChannel(i, ChannelField::name), StateValue::string("Track " + std::to_string(i + 1)));
        state.set(bankChannel(i, ChannelField::volume), StateValue::number(12000));
        state.set(bankChannel(i, ChannelField::mute), StateValue::number(i % 3 == 0));
        state.set(bankChannel(i, ChannelField::solo), StateValue::number(i == 5));
    }
    state.set(selectedTrack(ChannelField::mute), StateValue::number(1));
}

void BM_LEDPlanAndDiffAfterOneChange(benchmark::State& bench) {
    RemoteState state;
    fillMixSession(state);
    LocalUI local;
    auto sent = LEDPlan::plan(state, local, true);
    std::int64_t muted = 0;
    std::size_t messages = 0;
    for (auto _ : bench) {
        // One host change: channel 4's mute toggles, one LED to send.
        muted ^= 1;
        state.set(bankChannel(4, ChannelField::mute), StateValue::number(muted));
        auto plan = LEDPlan::plan(state, local, true);
        const auto diff = LEDPlan::diff(sent, plan);
        messages = diff.size();
        benchmark::DoNotOptimize(diff.data());
        sent = std::move(plan);
    }
    bench.counters["messages"] = static_cast<double>(messages);
}
BENCHMARK(BM_LEDPlanAndDiffAfterOneChange)->Unit(benchmark::kMicrosecond);

void BM_LEDPlanAndDiffUnchanged(benchmark::State& bench) {
    RemoteState state;
    fillMixSession(state);
    LocalUI local;
    const auto sent = LEDPlan::plan(state, local, true);
    std::size_t messages = 0;
    for (auto _ : bench) {
        const auto plan = LEDPlan::plan(state, local, true);
        const auto diff = LEDPlan::diff(sent, plan);
        messages += diff.size();
        benchmark::DoNotOptimize(diff.data());
    }
    // Must be 0: an unchanged plan sends nothing.
    bench.counters["messages"] = static_cast<double>(messages);
}
BENCHMARK(BM_LEDPlanAndDiffUnchanged)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace corvane
