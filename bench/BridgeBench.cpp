// The whole bridge on simulated hardware: a pad press to its note on "Corvane Notes", a host
// value to the applied state, and the bridge at rest with a display attached.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "bench/Spread.h"
#include "bridge/Bridge.h"
#include "core/BridgeCodec.h"
#include "core/PushMIDIMap.h"
#include "core/StateKeys.h"
#include "platform/MainQueue.h"
#include "platform/UserDefaults.h"
#include "tests/support/SimulatedMIDISystem.h"
#include "tests/support/SimulatedUSBDisplay.h"
#include "tests/support/TemporaryFolder.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

using bench::reportSpread;

double microseconds(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }

// A bridge with a Push plugged in and an application reading "Corvane Notes"; settings and log
// in a folder of its own.
struct Rig {
    Rig() {
        root = newTemporaryFolder("corvane-bench");
        if (root.empty()) std::abort();
        log = std::make_unique<Log>(root / "logs", 1'000'000, 3);
        log->setEchoToStderr(false);
        settings = std::make_shared<UserDefaults>(root / "config");
        push = system->addDevice("Ableton Push 3 Live Port");
    }

    ~Rig() {
        bridge.reset();
        system->settle();
        log.reset();
        std::filesystem::remove_all(root);
    }

    void start() {
        bridge = Bridge::create(BridgeOptions(), BridgeEnvironment{system, usb, settings, log.get(), {}});
        system->settle();
        const MIDIRef client = system->createClient("listener", nullptr, nullptr);
        const MIDIRef port = system->createInputPort(client, "notes", [this](std::span<const std::uint8_t> bytes) {
            if (bytes.size() == 3 && (bytes[0] & 0xF0) == 0x90 && bytes[2] > 0) {
                noteArrived.store(Clock::now().time_since_epoch().count(), std::memory_order_release);
                notesOn.fetch_add(1, std::memory_order_acq_rel);
            }
        });
        system->connectSource(port, *system->findSource("Corvane Notes"));
        control = *system->findDestination("Corvane");
    }

    void toBridge(const HostMessage& message) { system->inject(control, BridgeCodec::encode(message)); }

    // Packets the Push was sent since the last call.
    std::size_t sentToPush() {
        const std::size_t count = system->sentTo(push.destination).size();
        system->clearSent();
        return count;
    }

    std::filesystem::path root;
    std::unique_ptr<Log> log;
    std::shared_ptr<UserDefaults> settings;
    std::shared_ptr<SimulatedMIDISystem> system = std::make_shared<SimulatedMIDISystem>();
    std::shared_ptr<SimulatedUSBDisplay> usb = std::make_shared<SimulatedUSBDisplay>();
    SimulatedMIDISystem::Device push;
    MIDIRef control = 0;
    std::shared_ptr<Bridge> bridge;
    std::atomic<int> notesOn{0};
    std::atomic<Clock::rep> noteArrived{0};
};

// From the Push sending a pad's note-on until the note arrives at an application reading
// "Corvane Notes": two hops through the simulated system's delivery thread, the parser, the
// router and the pad player. Each press is released again.
void BM_BridgePadPressToNotesPort(benchmark::State& state) {
    Rig rig;
    rig.start();
    std::vector<double> samples;
    std::uint8_t pad = 36;
    for (auto _ : state) {
        const int before = rig.notesOn.load(std::memory_order_acquire);
        const Clock::time_point pressed = Clock::now();
        rig.system->inject(rig.push.source, {0x90, pad, 100});
        while (rig.notesOn.load(std::memory_order_acquire) == before) std::this_thread::yield();
        const Clock::time_point arrived{Clock::duration(rig.noteArrived.load(std::memory_order_acquire))};
        samples.push_back(microseconds(arrived - pressed));
        state.PauseTiming();
        rig.system->inject(rig.push.source, {0x80, pad, 0});
        rig.system->waitForDeliveries();
        if (samples.size() % 256 == 0) rig.system->clearSent();
        pad = static_cast<std::uint8_t>(pad == 99 ? 36 : pad + 1);
        state.ResumeTiming();
    }
    reportSpread(state, samples, "us");
}
BENCHMARK(BM_BridgePadPressToNotesPort)->Iterations(2000)->Unit(benchmark::kMicrosecond);

// From the script sending a setNumber to "Corvane" until the bridge's host state holds it on
// the main queue: the delivery thread, the parser, the decoder and the hop to the main queue.
void BM_BridgeHostSetNumberToStateApplied(benchmark::State& state) {
    Rig rig;
    rig.start();
    rig.toBridge(HostMessage::hello("bench"));
    rig.system->settle();
    std::vector<double> samples;
    std::int64_t value = 0;
    for (auto _ : state) {
        value = (value + 1) % 16384;
        const Clock::time_point sent = Clock::now();
        rig.toBridge(HostMessage::setNumber(StateKeys::Master::volume, value));
        MainQueue::pumpUntil([&] { return rig.bridge->state().number(StateKeys::Master::volume) == value; }, 5s);
        samples.push_back(microseconds(Clock::now() - sent));
    }
    reportSpread(state, samples, "us");
}
BENCHMARK(BM_BridgeHostSetNumberToStateApplied)->Iterations(2000)->Unit(benchmark::kMicrosecond);

// One frame of the busiest page, the tracks overview of a full bank with the master popup over
// it, drawn by the bridge's draw callback: the screen choice, the overview's model built from the
// host state, both drawings. Each frame is asked for by a new time text from the script, as
// during playback; the figure is the scheduler's own render time of that frame.
void BM_BridgeDrawTracksPageWithPopup(benchmark::State& state) {
    using namespace StateKeys;
    Rig rig;
    rig.usb->plug();
    rig.start();
    rig.toBridge(HostMessage::hello("bench"));
    rig.toBridge(HostMessage::setNumber(Session::page, static_cast<int>(Page::tracks)));
    rig.toBridge(HostMessage::setString(Transport::tempoText, "128.00"));
    rig.toBridge(HostMessage::setString(Session::bankText, "9–16 of 24"));
    rig.toBridge(HostMessage::setString(Transport::cycleStartText, "17. 1. 1.   0"));
    rig.toBridge(HostMessage::setString(Transport::cycleEndText, "33. 1. 1.   0"));
    rig.toBridge(HostMessage::setNumber(Transport::playing, 1));
    rig.toBridge(HostMessage::setNumber(Transport::cycle, 1));
    rig.toBridge(HostMessage::setString(Master::name, "Stereo Out"));
    rig.toBridge(HostMessage::setString(Master::volumeText, "-3.0 dB"));
    rig.toBridge(HostMessage::setNumber(Master::volume, 12000));
    for (int i = 0; i < 8; ++i) {
        rig.toBridge(HostMessage::setNumber(bankChannel(i, ChannelField::exists), 1));
        rig.toBridge(HostMessage::setString(bankChannel(i, ChannelField::name),
                                            "Track with a long name " + std::to_string(i + 9)));
        rig.toBridge(HostMessage::setColor(bankChannel(i, ChannelField::color),
                                           RGB{std::uint8_t(30 * i), 120, std::uint8_t(250 - 30 * i)}));
        rig.toBridge(HostMessage::setNumber(bankChannel(i, ChannelField::mute), i % 2));
        rig.toBridge(HostMessage::setNumber(bankChannel(i, ChannelField::meter), 2000 * i + 500));
    }
    MainQueue::pumpFor(2s);  // past the status screen after connecting

    std::vector<double> samples;
    int bar = 1;
    for (auto _ : state) {
        // The volume encoder's touch keeps the popup up.
        rig.system->inject(rig.push.source, {0x90, PushMIDIMap::volumeEncoderTouchNote, 127});
        const int before = rig.bridge->displayStats().framesRendered;
        bar = bar % 999 + 1;
        rig.toBridge(HostMessage::setString(Transport::timeText, "  " + std::to_string(bar) + ". 3. 2.   120"));
        MainQueue::pumpUntil([&] { return rig.bridge->displayStats().framesRendered > before; }, 5s);
        samples.push_back(rig.bridge->displayStats().lastRenderMs * 1000.0);
        state.PauseTiming();
        rig.system->inject(rig.push.source, {0x90, PushMIDIMap::volumeEncoderTouchNote, 0});
        rig.toBridge(HostMessage::heartbeat());
        rig.system->waitForDeliveries();
        if (samples.size() % 32 == 0) {
            rig.usb->clearRecords();  // the simulation keeps every frame; a real display does not
            rig.system->clearSent();
        }
        state.ResumeTiming();
    }
    reportSpread(state, samples, "us");
}
BENCHMARK(BM_BridgeDrawTracksPageWithPopup)->Iterations(150)->Unit(benchmark::kMillisecond);

double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// "VmHWM" (the peak since the last reset) or "VmRSS", in megabytes.
double residentMB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) return std::strtod(line.c_str() + field.size() + 1, nullptr) / 1024.0;
    }
    return 0;
}

// Ten seconds with the display attached, Cubase connected and nothing changing: the script's
// heartbeat and an unchanged value once a second, the display's keep-alive four times a
// second. CPU time of the whole process against wall time, the peak memory while at rest, and
// what the Push was sent (nothing, as nothing changed).
void BM_BridgeIdleWithDisplay(benchmark::State& state) {
    for (auto _ : state) {
        Rig rig;
        rig.usb->plug();
        rig.start();
        rig.toBridge(HostMessage::hello("bench"));
        rig.toBridge(HostMessage::setNumber(StateKeys::Master::volume, 1000));
        MainQueue::pumpFor(2s);  // past the status screen after connecting
        rig.sentToPush();
        rig.usb->clearRecords();
        std::ofstream("/proc/self/clear_refs") << "5";  // restart the peak count

        const double cpuBefore = cpuSeconds();
        const Clock::time_point begin = Clock::now();
        std::size_t pushMessages = 0;
        // The main queue runs as in the program, waking only for work, not polled as by tests.
        RepeatingTimer script = MainQueue::scheduleRepeating(1s, [&] {
            rig.toBridge(HostMessage::heartbeat());
            rig.toBridge(HostMessage::setNumber(StateKeys::Master::volume, 1000));
            pushMessages += rig.sentToPush();
            rig.usb->clearRecords();  // the simulation keeps every frame; a real display does not
        });
        MainQueue::asyncAfter(10s, [] { MainQueue::quit(); });
        MainQueue::run();
        script.cancel();
        pushMessages += rig.sentToPush();
        const double wall = std::chrono::duration<double>(Clock::now() - begin).count();
        const double cpu = cpuSeconds() - cpuBefore;

        state.counters["cpu_percent_of_one_core"] = 100.0 * cpu / wall;
        state.counters["peak_MB"] = residentMB("VmHWM");
        state.counters["resident_MB"] = residentMB("VmRSS");
        state.counters["push_messages"] = static_cast<double>(pushMessages);
        state.counters["keep_alives"] = rig.bridge->displayStats().keepAlivesSent;
        state.counters["cubase_connected"] = rig.bridge->cubaseConnected() ? 1 : 0;
    }
}
BENCHMARK(BM_BridgeIdleWithDisplay)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace corvane
