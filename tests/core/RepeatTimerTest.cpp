#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include "core/PadPlayer.h"
#include "core/RepeatTimer.h"
#include "platform/Clock.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

double in(double seconds) { return MonotonicClock::seconds() + seconds; }

bool eventually(const std::function<bool()>& condition) {
    const auto giveUp = std::chrono::steady_clock::now() + 5s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > giveUp) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(RepeatTimer, FiresOnceNoEarlierThanTheLatestTimeAndNeverAfterCancel) {
    std::atomic<int> fired = 0;
    std::atomic<double> firedAt = 0;
    RepeatTimer timer([&] {
        firedAt = MonotonicClock::seconds();
        ++fired;
    });
    timer.schedule(in(30.0));
    const double due = in(0.02);
    timer.schedule(due);  // replaces the first
    ASSERT_TRUE(eventually([&] { return fired == 1; }));
    EXPECT_GE(firedAt.load(), due);

    timer.schedule(in(0.01));
    timer.schedule(std::nullopt);
    timer.schedule(1e12);  // beyond any clock: never
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(fired, 1);

    timer.schedule(0.0);  // long past: at once
    ASSERT_TRUE(eventually([&] { return fired == 2; }));
    timer.schedule(in(0.01));
    timer.cancel();
    timer.cancel();
    timer.schedule(0.0);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(fired, 2);
}

// The handler takes a lock under which other threads schedule, as the pad player does.
TEST(RepeatTimer, HandlerAndSchedulersShareALockWithoutDeadlock) {
    std::mutex outer;
    std::atomic<int> fired = 0;
    RepeatTimer timer([&] {
        std::lock_guard guard(outer);
        if (++fired < 200) timer.schedule(0.0);
    });
    timer.schedule(0.0);
    for (int i = 0; i < 2000; ++i) {
        std::lock_guard guard(outer);
        timer.schedule(MonotonicClock::seconds());
    }
    EXPECT_TRUE(eventually([&] { return fired >= 200; }));  // or more: the others' times fire too
}

// The pad player wired to the real timer as the bridge wires them, and what a synth on the
// notes port hears: which (channel, note) is sounding.
struct Instrument {
    Instrument() {
        PadPlayer::Config config;
        config.repeatOn = true;
        config.repeatRate = RepeatRate::thirtySecondTriplet;
        config.tempo = 300;  // a step of about 8.3 ms
        player = std::make_unique<PadPlayer>(
            config,
            [this](std::span<const std::uint8_t> b) {
                hear(b);
                return true;
            },
            [](const MIDIMessage&) {}, PadPlayer::Clock{},
            [this](std::optional<double> time) { timer.schedule(time); });
    }
    void hear(std::span<const std::uint8_t> b) {
        std::lock_guard guard(lock);
        ++heard;
        if ((b[0] & 0xF0) == 0x90 && b[2] > 0) sounding.insert((b[0] & 0x0F) * 128 + b[1]);
        if ((b[0] & 0xF0) == 0x80 || ((b[0] & 0xF0) == 0x90 && b[2] == 0))
            sounding.erase((b[0] & 0x0F) * 128 + b[1]);
    }
    std::pair<std::size_t, std::size_t> heardAndSounding() {
        std::lock_guard guard(lock);
        return {heard, sounding.size()};
    }

    std::mutex lock;
    std::size_t heard = 0;
    std::set<int> sounding;
    std::unique_ptr<PadPlayer> player;
    RepeatTimer timer{[this] { player->tick(); }};  // last: stops before the player goes
};

TEST(PadPlayerOnTimer, ShutdownLeavesNoNoteHangingAndSchedulesNothing) {
    Instrument instrument;
    for (std::uint8_t pad : {36, 41, 50}) instrument.player->handle(MIDIMessage::noteOn(0, pad, 100));
    ASSERT_TRUE(eventually([&] { return instrument.heardAndSounding().first > 9; }));  // repeating

    instrument.timer.cancel();
    instrument.player->releaseAll();
    const auto [heard, sounding] = instrument.heardAndSounding();
    EXPECT_EQ(sounding, 0u);
    std::this_thread::sleep_for(40ms);
    instrument.player->handle(MIDIMessage::noteOff(0, 36, 0));  // nothing left to end
    EXPECT_EQ(instrument.heardAndSounding().first, heard);
}

TEST(PadPlayerOnTimer, ManyThreadsPressingWhileTheTimerRuns) {
    Instrument instrument;
    PadPlayer& player = *instrument.player;
    std::atomic<bool> playing = true;
    std::vector<std::thread> hands;
    for (unsigned hand = 0; hand < 4; ++hand) {
        hands.emplace_back([&, hand] {
            std::minstd_rand random(hand + 1);
            const auto channel = static_cast<std::uint8_t>(hand % 2);  // two hands share a channel
            const auto some = [&](unsigned n) { return static_cast<std::uint8_t>(random() % n); };
            std::vector<std::uint8_t> down;
            for (int i = 0; i < 3000; ++i) {
                const auto pad = static_cast<std::uint8_t>(36 + some(64));
                const unsigned action = some(4);
                if (action < 2) {
                    player.handle(
                        MIDIMessage::noteOn(channel, pad, static_cast<std::uint8_t>(1 + some(127))));
                    down.push_back(pad);
                } else if (action == 2 && !down.empty()) {
                    player.handle(MIDIMessage::noteOff(channel, down.back(), 0));
                    down.pop_back();
                } else {
                    player.handle(hand % 2 ? MIDIMessage::channelPressure(channel, some(128))
                                           : MIDIMessage::polyPressure(channel, pad, some(128)));
                }
                if (i % 200 == 0) std::this_thread::sleep_for(1ms);
            }
            for (std::uint8_t pad : down) player.handle(MIDIMessage::noteOn(channel, pad, 0));
        });
    }
    std::thread mainQueue([&] {
        std::minstd_rand random(99);
        while (playing) {
            player.update([&](PadPlayer::Config& c) {
                c.repeatOn = random() % 4 != 0;
                c.accent = random() % 2 == 0;
                c.settings.octave = static_cast<int>(random() % 3) - 1;
                c.settings.inKey = random() % 2 == 0;
                c.dark = random() % 8 == 0;
            });
            player.refreshLEDs();
            std::this_thread::sleep_for(2ms);
        }
    });
    for (auto& hand : hands) hand.join();
    playing = false;
    mainQueue.join();

    // Every pad is up again, so every note that was played has ended.
    EXPECT_EQ(instrument.heardAndSounding().second, 0u);
    EXPECT_TRUE(player.soundingNotes().empty());
}

}  // namespace
}  // namespace corvane
