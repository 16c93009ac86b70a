// Timer precision of the queues (how late a timer runs after its deadline, in microseconds)
// and the cost of hopping to the main queue and back.

#include "platform/MainQueue.h"
#include "platform/SerialQueue.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <future>

namespace corvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Lateness {
    double sum = 0;
    double worst = 0;
    long count = 0;

    void add(Clock::time_point deadline, Clock::time_point ran) {
        const double us = std::chrono::duration<double, std::micro>(ran - deadline).count();
        sum += us;
        worst = std::max(worst, us);
        ++count;
    }
    void report(benchmark::State& state) const {
        state.counters["late_mean_us"] = count ? sum / static_cast<double>(count) : 0;
        state.counters["late_worst_us"] = worst;
    }
};

void BM_SerialQueueAsyncAfter(benchmark::State& state) {
    SerialQueue queue("bench.after");
    const auto delay = std::chrono::microseconds(state.range(0));
    Lateness lateness;
    for (auto _ : state) {
        std::promise<Clock::time_point> ran;
        const Clock::time_point deadline = Clock::now() + delay;
        queue.asyncAfter(delay, [&ran] { ran.set_value(Clock::now()); });
        lateness.add(deadline, ran.get_future().get());
    }
    lateness.report(state);
}
BENCHMARK(BM_SerialQueueAsyncAfter)->Arg(100)->Arg(1000)->UseRealTime();

void BM_SerialQueueRepeatingTimer(benchmark::State& state) {
    SerialQueue queue("bench.repeat");
    const auto interval = std::chrono::microseconds(state.range(0));
    Lateness lateness;
    long skipped = 0;
    for (auto _ : state) {
        std::promise<void> done;
        int fired = 0;
        long missed = 0;
        Clock::time_point start;
        RepeatingTimer timer;
        queue.sync([&] {
            start = Clock::now();
            timer = queue.scheduleRepeating(interval, 0ns, [&] {
                // Firings run on the grid start + k × interval; a late one skips grid points.
                ++fired;
                const Clock::time_point now = Clock::now();
                const auto steps = (now - start) / interval;
                missed = steps - fired;
                lateness.add(start + steps * interval, now);
                if (fired == 20) {
                    timer.cancel();
                    done.set_value();
                }
            });
        });
        done.get_future().wait();
        skipped += missed;
    }
    lateness.report(state);
    state.counters["skipped"] = static_cast<double>(skipped);
}
BENCHMARK(BM_SerialQueueRepeatingTimer)->Arg(1000)->UseRealTime();

void BM_MainQueueAsyncAfter(benchmark::State& state) {
    const auto delay = std::chrono::microseconds(state.range(0));
    Lateness lateness;
    for (auto _ : state) {
        bool ran = false;
        const Clock::time_point deadline = Clock::now() + delay;
        MainQueue::asyncAfter(delay, [&] {
            lateness.add(deadline, Clock::now());
            ran = true;
        });
        MainQueue::pumpUntil([&] { return ran; }, 5s);
    }
    lateness.report(state);
}
BENCHMARK(BM_MainQueueAsyncAfter)->Arg(1000)->UseRealTime();

// Main queue to a serial queue and back, as a worker's reply reaches the main queue.
void BM_MainQueueRoundTrip(benchmark::State& state) {
    SerialQueue worker("bench.trip");
    for (auto _ : state) {
        bool back = false;
        worker.async([&back] { MainQueue::async([&back] { back = true; }); });
        MainQueue::pumpUntil([&] { return back; }, 5s);
    }
}
BENCHMARK(BM_MainQueueRoundTrip)->UseRealTime();

// Posting to the main queue and running it on the same thread: the queue's own overhead.
void BM_MainQueueAsync(benchmark::State& state) {
    const int batch = 1000;
    for (auto _ : state) {
        int ran = 0;
        for (int i = 0; i < batch; ++i) MainQueue::async([&ran] { ++ran; });
        MainQueue::pumpUntil([&] { return ran == batch; }, 5s);
    }
    state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_MainQueueAsync)->UseRealTime();

}  // namespace
}  // namespace corvane
