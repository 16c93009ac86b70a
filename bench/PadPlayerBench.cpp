// How fast a pad press reaches the notes port, and how close to the beat note repeat plays.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <future>
#include <mutex>
#include <numeric>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "bench/Spread.h"
#include "core/HeldAtHost.h"
#include "core/LEDShadow.h"
#include "core/PadPlayer.h"
#include "core/RepeatTimer.h"
#include "hardware/MIDIClient.h"
#include "hardware/VirtualMIDIPort.h"
#include "platform/Clock.h"
#include "platform/RealtimeThread.h"
#include "tests/support/SimulatedMIDISystem.h"

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
            return true;
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

// What keeping track of the host's notes and controls adds to a send the host takes: a note-on
// and its note-off over a send that costs nothing.
void BM_HeldAtHostSendTaken(benchmark::State& state) {
    HeldAtHost host([](std::span<const std::uint8_t>) { return true; });
    std::uint8_t note = 0;
    for (auto _ : state) {
        const std::array<std::uint8_t, 3> on{0x90, note, 100}, off{0x80, note, 0};
        benchmark::DoNotOptimize(host.send(on));
        benchmark::DoNotOptimize(host.send(off));
        note = static_cast<std::uint8_t>((note + 1) & 0x7F);
    }
}
BENCHMARK(BM_HeldAtHostSendTaken);

// The worst a host can do to it: take one message and refuse the next, over and over, with every
// note and controller of every channel ended lately. Each refusal after a taken message looks
// through the whole table for endings the host may have lost with its queue.
void BM_HeldAtHostTakeOneRefuseOne(benchmark::State& state) {
    bool take = true;
    HeldAtHost host([&](std::span<const std::uint8_t>) { return take; });
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        for (std::uint8_t number = 0; number < 128; ++number) {
            host.send(std::array<std::uint8_t, 3>{static_cast<std::uint8_t>(0x80 | channel), number, 0});
            host.send(std::array<std::uint8_t, 3>{static_cast<std::uint8_t>(0xB0 | channel), number, 0});
        }
    }
    std::uint8_t note = 0;
    for (auto _ : state) {
        take = true;
        benchmark::DoNotOptimize(host.send(std::array<std::uint8_t, 3>{0x91, note, 100}));
        take = false;
        benchmark::DoNotOptimize(host.send(std::array<std::uint8_t, 3>{0x92, note, 100}));
        note = static_cast<std::uint8_t>((note + 1) & 0x7F);
        state.PauseTiming();
        take = true;
        host.resend(HeldAtHost::lossWindow);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_HeldAtHostTakeOneRefuseOne);

// Threads of normal priority spinning on every core for as long as it lives.
class CPULoad {
public:
    CPULoad() {
        const unsigned cores = std::max(1U, std::thread::hardware_concurrency());
        for (unsigned i = 0; i < cores; ++i) {
            threads_.emplace_back([this] {
                std::uint64_t spins = 0;
                while (!stop_.load(std::memory_order_relaxed)) benchmark::DoNotOptimize(++spins);
            });
        }
    }
    ~CPULoad() {
        stop_ = true;
        for (std::thread& thread : threads_) thread.join();
    }
    CPULoad(const CPULoad&) = delete;
    CPULoad& operator=(const CPULoad&) = delete;

private:
    std::atomic<bool> stop_ = false;
    std::vector<std::thread> threads_;
};

struct RepeatRun {
    std::vector<double> lateness;  // µs after its beat, per step
    RealtimeGrant grant;
    double loadAverage = 0;
};

// A pad held with repeat at the fastest rate and 300 BPM (a step of 8.3 ms) on the real timer
// thread for `length`: how late each step's note leaves the player, against the beat it belongs
// to. Under load, every core is kept busy by spinning threads, the held pad's pressure streams in
// on a normal thread as the Push sends it (it takes the player's lock and the notes port's, as the
// receive thread does), and the notes leave through a virtual port. With `realtime` the timer's
// thread asks for real-time scheduling the way the bridge does.
RepeatRun runNoteRepeat(std::chrono::seconds length, bool underLoad, bool realtime) {
    auto midi = std::make_shared<SimulatedMIDISystem>();
    auto client = std::make_shared<MIDIClient>("Corvane Bench", midi);
    VirtualMIDIPort notes(client, "Corvane Notes", 0x50464311);

    RepeatRun run;
    run.lateness.reserve(1024);
    std::atomic<double> due = 0;
    const std::thread::id caller = std::this_thread::get_id();
    std::mutex samplesLock;
    std::unique_ptr<PadPlayer> player;
    std::promise<RealtimeGrant> granted;
    RepeatTimer timer([&] { player->tick(); },
                      [&] {
                          granted.set_value(realtime ? RealtimeThread::promoteCurrentThread()
                                                     : RealtimeGrant{RealtimeGrant::Method::none, 0, "not asked"});
                      });
    run.grant = granted.get_future().get();
    PadPlayer::Config config;
    config.repeatOn = true;
    config.repeatRate = RepeatRate::thirtySecondTriplet;
    config.tempo = 300;
    player = std::make_unique<PadPlayer>(
        config,
        [&](std::span<const std::uint8_t> bytes) {
            // Not the press, the final release or the pressure passed on.
            if (std::this_thread::get_id() != caller && (bytes[0] & 0xF0) != 0xA0) {
                const double late = (MonotonicClock::seconds() - due) * 1e6;
                std::lock_guard guard(samplesLock);
                run.lateness.push_back(late);
            }
            if (underLoad) notes.send(bytes);
            return true;
        },
        [](const MIDIMessage&) {}, PadPlayer::Clock{},
        [&](std::optional<double> time) {
            if (time) due = *time;
            timer.schedule(time);
        });

    std::optional<CPULoad> load;
    std::atomic<bool> pressing = underLoad;
    std::thread pressure;
    if (underLoad) {
        load.emplace();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        pressure = std::thread([&] {
            std::uint8_t value = 1;
            while (pressing) {
                player->handle(MIDIMessage::polyPressure(0, 36, value));
                value = static_cast<std::uint8_t>(value % 127 + 1);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    player->handle(MIDIMessage::noteOn(0, 36, 100));
    std::this_thread::sleep_for(length);
    timer.cancel();
    pressing = false;
    if (pressure.joinable()) pressure.join();
    player->releaseAll();
    getloadavg(&run.loadAverage, 1);
    load.reset();

    std::lock_guard guard(samplesLock);
    return run;
}

// One run each with normal and real-time scheduling (argument 0 and 1), timed by the wall clock.
void onceWithoutAndOnceWithRealtime(benchmark::internal::Benchmark* runs) {
    runs->ArgName("realtime")->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
}

void BM_NoteRepeatLateness(benchmark::State& state) {
    for (auto _ : state) {
        const RepeatRun run = runNoteRepeat(std::chrono::seconds(3), false, false);
        state.counters["steps"] = static_cast<double>(run.lateness.size());
        reportSpread(state, run.lateness, "us");
    }
}
BENCHMARK(BM_NoteRepeatLateness)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same under load, with (argument 1) and without real-time scheduling; the counter
// "realtime" is the priority the timer's thread got (0: none, the label says why).
void BM_NoteRepeatLatenessUnderLoad(benchmark::State& state) {
    for (auto _ : state) {
        const RepeatRun run = runNoteRepeat(std::chrono::seconds(5), true, state.range(0) != 0);
        state.counters["steps"] = static_cast<double>(run.lateness.size());
        state.counters["realtime"] = run.grant.priority;
        state.counters["loadavg"] = run.loadAverage;
        state.SetLabel(RealtimeThread::describe(run.grant));
        reportSpread(state, run.lateness, "us");
    }
}
BENCHMARK(BM_NoteRepeatLatenessUnderLoad)->Apply(onceWithoutAndOnceWithRealtime);

// The lateness of `steps` plain sleeps at the 8.3 ms cadence on a thread of its own.
std::vector<double> plainSleepLateness(int steps, bool realtime) {
    std::vector<double> lateness;
    std::thread([&] {
        if (realtime) RealtimeThread::promoteCurrentThread();
        using Clock = std::chrono::steady_clock;
        const auto step = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(PadPlayer::step(300, RepeatRate::thirtySecondTriplet)));
        Clock::time_point due = Clock::now();
        for (int i = 0; i < steps; ++i) {
            due += step;
            std::this_thread::sleep_until(due);
            lateness.push_back(std::chrono::duration<double, std::micro>(Clock::now() - due).count());
        }
    }).join();
    return lateness;
}

// The same 8.3 ms cadence with a plain sleep on a thread of its own: what the machine allows,
// to tell the repeat timer's own error from the scheduler's.
void BM_PlainSleepLateness(benchmark::State& state) {
    for (auto _ : state) reportSpread(state, plainSleepLateness(360, false), "us");
}
BENCHMARK(BM_PlainSleepLateness)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The plain sleep under the same load as the repeat timer above, with and without real-time
// scheduling: the floor that the machine (and, in a virtual machine, its host) sets.
void BM_PlainSleepLatenessUnderLoad(benchmark::State& state) {
    for (auto _ : state) {
        CPULoad load;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        reportSpread(state, plainSleepLateness(600, state.range(0) != 0), "us");
    }
}
BENCHMARK(BM_PlainSleepLatenessUnderLoad)->Apply(onceWithoutAndOnceWithRealtime);

}  // namespace
}  // namespace corvane
