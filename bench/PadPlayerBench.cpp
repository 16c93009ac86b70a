// How fast a pad press reaches the notes port, and how close to the beat note repeat plays.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

#include "bench/Spread.h"
#include "core/LEDShadow.h"
#include "core/PadPlayer.h"
#include "core/RepeatTimer.h"
#include "platform/Clock.h"

namespace corvane {
namespace {

using bench::reportSpread;

// From handing a pad's note-on to the player until its note reaches the send callback, with the
// pad LEDs recorded in a locked shadow as the bridge does. Each press is released again.
void BM_PadPressToNote(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    Clock::time_point sent{};
    std::mutex ledLock;
    LEDShadow shadow;
    PadPlayer player(
        PadPlayer::Config(),
        [&](std::span<const std::uint8_t> bytes) {
            if ((bytes[0] & 0xF0) == 0x90 && bytes[2] > 0) sent = Clock::now();
        },
        [&](const MIDIMessage& message) {
            std::lock_guard guard(ledLock);
            shadow.record(message);
        });
    player.refreshLEDs();

    std::vector<double> samples;
    samples.reserve(1 << 20);
    std::uint8_t pad = 36;
    for (auto _ : state) {
        const Clock::time_point pressed = Clock::now();
        player.handle(MIDIMessage::noteOn(0, pad, 100));
        samples.push_back(std::chrono::duration<double, std::nano>(sent - pressed).count());
        player.handle(MIDIMessage::noteOff(0, pad, 0));
        pad = static_cast<std::uint8_t>(pad == 99 ? 36 : pad + 1);
    }
    reportSpread(state, samples, "ns");
}
BENCHMARK(BM_PadPressToNote);

// A pad held with repeat at the fastest rate and 300 BPM (a step of 8.3 ms) on the real timer
// thread: how late each step's note leaves the player, against the beat it belongs to.
void BM_NoteRepeatLateness(benchmark::State& state) {
    for (auto _ : state) {
        std::atomic<double> due = 0;
        const std::thread::id caller = std::this_thread::get_id();
        std::mutex samplesLock;
        std::vector<double> lateness;
        lateness.reserve(1024);
        std::unique_ptr<PadPlayer> player;
        RepeatTimer timer([&] { player->tick(); });
        PadPlayer::Config config;
        config.repeatOn = true;
        config.repeatRate = RepeatRate::thirtySecondTriplet;
        config.tempo = 300;
        player = std::make_unique<PadPlayer>(
            config,
            [&](std::span<const std::uint8_t>) {
                if (std::this_thread::get_id() == caller) return;  // the press and the final release
                const double late = (MonotonicClock::seconds() - due) * 1e6;
                std::lock_guard guard(samplesLock);
                lateness.push_back(late);
            },
            [](const MIDIMessage&) {}, PadPlayer::Clock{},
            [&](std::optional<double> time) {
                if (time) due = *time;
                timer.schedule(time);
            });
        player->handle(MIDIMessage::noteOn(0, 36, 100));
        std::this_thread::sleep_for(std::chrono::seconds(3));
        timer.cancel();
        player->releaseAll();

        std::lock_guard guard(samplesLock);
        state.counters["steps"] = static_cast<double>(lateness.size());
        reportSpread(state, lateness, "us");
    }
}
BENCHMARK(BM_NoteRepeatLateness)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same 8.3 ms cadence with a plain sleep on a thread of its own: what the machine allows,
// to tell the repeat timer's own error from the scheduler's.
void BM_PlainSleepLateness(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<double> lateness;
        std::thread([&] {
            using Clock = std::chrono::steady_clock;
            const auto step = std::chrono::duration_cast<Clock::duration>(
                std::chrono::duration<double>(PadPlayer::step(300, RepeatRate::thirtySecondTriplet)));
            Clock::time_point due = Clock::now();
            for (int i = 0; i < 360; ++i) {
                due += step;
                std::this_thread::sleep_until(due);
                lateness.push_back(std::chrono::duration<double, std::micro>(Clock::now() - due).count());
            }
        }).join();
        reportSpread(state, lateness, "us");
    }
}
BENCHMARK(BM_PlainSleepLateness)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace corvane
