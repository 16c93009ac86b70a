// One frame of each host page, drawn from a state that fills every key the page reads.

#include <benchmark/benchmark.h>

#include <array>

#include "PushDisplay/DeviceScreen.h"
#include "PushDisplay/MixScreen.h"
#include "PushDisplay/Popup.h"
#include "PushDisplay/TrackPageScreen.h"
#include "tests/PushDisplay/ScreenDemoState.h"

namespace corvane {
namespace {

template <class Draw>
void frame(benchmark::State& bench, Draw draw) {
    Canvas canvas;
    RemoteState state;
    testing::fillDemoState(state);
    const std::array<bool, 8> touched{false, false, true};
    draw(canvas, state, touched);  // fonts made once, as in the bridge
    for (auto _ : bench) {
        draw(canvas, state, touched);
        canvas.withPixels([](std::span<const std::uint8_t> pixels, std::size_t) {
            benchmark::DoNotOptimize(pixels.data());
            return 0;
        });
    }
}

void BM_TrackPageScreen(benchmark::State& bench) { frame(bench, TrackPageScreen::draw); }
BENCHMARK(BM_TrackPageScreen)->Unit(benchmark::kMicrosecond);

void BM_MixScreen(benchmark::State& bench) { frame(bench, MixScreen::draw); }
BENCHMARK(BM_MixScreen)->Unit(benchmark::kMicrosecond);

void BM_DeviceScreen(benchmark::State& bench) { frame(bench, DeviceScreen::draw); }
BENCHMARK(BM_DeviceScreen)->Unit(benchmark::kMicrosecond);

// The popup over a page, as the bridge draws it after a control changes a value.
void BM_TrackPageWithPopup(benchmark::State& bench) {
    frame(bench, [](Canvas& canvas, const RemoteState& state, std::span<const bool> touched) {
        TrackPageScreen::draw(canvas, state, touched);
        Popup("Volume", "-6.0 dB", 0.7).draw(canvas);
    });
}
BENCHMARK(BM_TrackPageWithPopup)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace corvane
