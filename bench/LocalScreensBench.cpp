// One frame of each local screen: the status, setup, scale and control map pages and the two
// display test patterns.

#include <benchmark/benchmark.h>

#include <string>

#include "PushDisplay/ControlMapScreen.h"
#include "PushDisplay/ScaleScreen.h"
#include "PushDisplay/SetupScreen.h"
#include "PushDisplay/StatusScreen.h"
#include "PushDisplay/TestPatterns.h"

namespace corvane {
namespace {

StatusModel busyStatus() {
    StatusModel model;
    model.cubaseConnected = true;
    model.hostDescription = "Cubase Pro 13.0.41";
    model.scriptVersion = "0.4.3";
    model.bridgeVersion = "0.4.3";
    for (int i = 0; i < 8; ++i) model.diagnostics.push_back("MIDI in 12345 out 67890, line " + std::to_string(i));
    return model;
}

template <class Draw>
void frames(benchmark::State& state, Draw&& draw) {
    Canvas canvas;
    draw(canvas);  // fonts made once, as in the running bridge
    for (auto _ : state) {
        draw(canvas);
        canvas.withPixels([](auto pixels, std::size_t) {
            benchmark::DoNotOptimize(pixels.data());
            return 0;
        });
    }
}

void BM_StatusScreen(benchmark::State& state) {
    const StatusModel model = busyStatus();
    frames(state, [&](Canvas& canvas) { StatusScreen::draw(canvas, model); });
}
BENCHMARK(BM_StatusScreen)->Unit(benchmark::kMicrosecond);

void BM_SetupScreen(benchmark::State& state) {
    SetupState setup;
    setup.tab = static_cast<SetupTab>(state.range(0));
    setup.preamps = {Preamp::instrument, Preamp::line};
    setup.aftertouch = AftertouchMode::poly;
    setup.displayBrightness = 200;
    setup.ledBrightness = 100;
    const StatusModel status = busyStatus();
    state.SetLabel(std::string(name(setup.tab)));
    frames(state, [&](Canvas& canvas) { SetupScreen::draw(canvas, setup, status); });
}
BENCHMARK(BM_SetupScreen)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

void BM_ScaleScreen(benchmark::State& state) {
    PadSettings settings;
    settings.scaleIndex = 17;
    frames(state, [&](Canvas& canvas) { ScaleScreen::draw(canvas, settings); });
}
BENCHMARK(BM_ScaleScreen)->Unit(benchmark::kMicrosecond);

void BM_ControlMapScreen(benchmark::State& state) {
    ControlMapModel model;
    for (std::size_t c = 0; c < 8; ++c) model.encoderValue[c] = static_cast<int>(c) * 18;
    model.encoderTouched[2] = model.upperPressed[4] = model.lowerPressed[6] = true;
    frames(state, [&](Canvas& canvas) { ControlMapScreen::draw(canvas, model); });
}
BENCHMARK(BM_ControlMapScreen)->Unit(benchmark::kMicrosecond);

void BM_ColorBars(benchmark::State& state) {
    frames(state, [](Canvas& canvas) { TestPatterns::colorBars(canvas, PixelOrder::bgr565); });
}
BENCHMARK(BM_ColorBars)->Unit(benchmark::kMicrosecond);

void BM_SweepStage(benchmark::State& state) {
    frames(state, [](Canvas& canvas) { TestPatterns::sweepStage(canvas, 3, 6, 29.97, PixelOrder::bgr565); });
}
BENCHMARK(BM_SweepStage)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace corvane
