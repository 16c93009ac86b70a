// Cost of the input path on the receive thread, and of one log call on the caller's thread.

#include "core/Log.h"
#include "core/MIDIMessage.h"
#include "core/PushInputDecoder.h"
#include "core/Router.h"
#include "tests/support/TemporaryFolder.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

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

// A log of its own in a temporary folder, echo off, removed afterwards.
class TemporaryLog {
public:
    TemporaryLog() {
        if (auto made = newTemporaryFolder("corvane-bench"); !made.empty()) folder_ = made;
        log_ = std::make_unique<Log>(folder_, 1'000'000, 2);
        log_->setEchoToStderr(false);
    }
    ~TemporaryLog() {
        log_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    Log& operator*() { return *log_; }

private:
    std::filesystem::path folder_ = std::filesystem::temp_directory_path() / "corvane-bench";
    std::unique_ptr<Log> log_;
};

void BM_LogFilteredOut(benchmark::State& state) {
    TemporaryLog log;
    const int value = 42;
    for (auto _ : state) (*log).debug([&] { return "value " + std::to_string(value); });
}
BENCHMARK(BM_LogFilteredOut);

// The caller's share of a written line; the queue writes it meanwhile. A fixed count keeps the
// backlog bounded.
void BM_LogWritten(benchmark::State& state) {
    TemporaryLog log;
    const int value = 42;
    for (auto _ : state) (*log).info([&] { return "value " + std::to_string(value); });
    (*log).flush();  // after the timed loop
}
BENCHMARK(BM_LogWritten)->Iterations(200'000);

// A flood of one kind of warning (a stalled reader, a stream of bad frames): the caller's share
// once the first line is out and the rest are only counted.
void BM_LogSummarisedFlood(benchmark::State& state) {
    TemporaryLog log;
    const int value = 42;
    for (auto _ : state)
        (*log).summarisedWarning("MIDI send dropped", [&] { return "value " + std::to_string(value); });
    (*log).flush();
}
BENCHMARK(BM_LogSummarisedFlood)->Iterations(200'000);

}  // namespace
}  // namespace corvane
