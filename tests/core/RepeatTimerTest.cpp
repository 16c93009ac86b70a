#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "core/PadPlayer.h"
#include "core/RepeatTimer.h"
#include "platform/Clock.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

// Counts firings and notes when each happened.
struct Firings {
    void fire() {
        std::lock_guard guard(lock);
        times.push_back(MonotonicClock::seconds());
        changed.notify_all();
    }
    bool waitFor(std::size_t count) {
        std::unique_lock guard(lock);
        return changed.wait_for(guard, 5s, [&] { return times.size() >= count; });
    }
    std::size_t count() {
        std::lock_guard guard(lock);
        return times.size();
    }
    std::mutex lock;
    std::condition_variable changed;
    std::vector<double> times;
};

TEST(RepeatTimer, FiresOnceAndNeverBeforeItsTime) {
    Firings firings;
    RepeatTimer timer([&] { firings.fire(); });
    const double due = MonotonicClock::seconds() + 0.02;
    timer.schedule(due);
    ASSERT_TRUE(firings.waitFor(1));
    EXPECT_GE(firings.times[0], due);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(firings.count(), 1u);

    timer.schedule(0.0);  // long past: at once
    EXPECT_TRUE(firings.waitFor(2));
}

TEST(RepeatTimer, ALaterScheduleReplacesTheEarlierOne) {
    Firings firings;
    RepeatTimer timer([&] { firings.fire(); });
    timer.schedule(MonotonicClock::seconds() + 30.0);
    timer.schedule(MonotonicClock::seconds() + 0.01);
    ASSERT_TRUE(firings.waitFor(1));

    timer.schedule(MonotonicClock::seconds() + 0.01);
    timer.schedule(std::nullopt);
    timer.schedule(1e12);  // beyond any clock: never
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(firings.count(), 1u);
}

TEST(RepeatTimer, CancelIsFinalAndIdempotent) {
    Firings firings;
    RepeatTimer timer([&] { firings.fire(); });
    timer.schedule(MonotonicClock::seconds() + 0.01);
    timer.cancel();
    timer.cancel();
    timer.schedule(0.0);
    std::this_thread::sleep_for(60ms);
    EXPECT_EQ(firings.count(), 0u);
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
    // Once the others stop, the handler's own chain runs to its end.
    const auto giveUp = std::chrono::steady_clock::now() + 5s;
    while (fired < 200 && std::chrono::steady_clock::now() < giveUp) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(fired.load(), 200);
}

// --- the pad player on the real timer -----------------------------------------------------------

// What a synth on "Corvane Notes" hears: which (channel, note) is sounding.
class Receiver {
public:
    void hear(std::span<const std::uint8_t> bytes) {
        std::lock_guard guard(lock_);
        ++messages_;
        const std::uint8_t kind = bytes[0] & 0xF0;
        const int key = (bytes[0] & 0x0F) * 128 + bytes[1];
        if (kind == 0x90 && bytes[2] > 0) {
            sounding_[key] = true;
        } else if (kind == 0x80 || kind == 0x90) {
            sounding_.erase(key);
        }
    }
    std::size_t sounding() {
        std::lock_guard guard(lock_);
        return sounding_.size();
    }
    std::size_t messages() {
        std::lock_guard guard(lock_);
        return messages_;
    }

private:
    std::mutex lock_;
    std::map<int, bool> sounding_;
    std::size_t messages_ = 0;
};

// Wired as the bridge wires them: the player schedules the timer, the timer ticks the player.
struct Instrument {
    explicit Instrument(PadPlayer::Config config) {
        player = std::make_unique<PadPlayer>(
            config, [this](std::span<const std::uint8_t> bytes) { receiver.hear(bytes); },
            [this](const MIDIMessage&) { ++ledMessages; }, PadPlayer::Clock{},
            [this](std::optional<double> time) { timer.schedule(time); });
    }
    void shutdown() {
        timer.cancel();
        player->releaseAll();
    }

    Receiver receiver;
    std::atomic<std::size_t> ledMessages = 0;
    std::unique_ptr<PadPlayer> player;
    RepeatTimer timer{[this] { player->tick(); }};  // last: stops before the player goes
};

PadPlayer::Config fastRepeat() {
    PadPlayer::Config config;
    config.repeatOn = true;
    config.repeatRate = RepeatRate::thirtySecondTriplet;
    config.tempo = 300;  // a step of about 8.3 ms
    return config;
}

TEST(PadPlayerOnTimer, ShutdownLeavesNoNoteHangingAndSchedulesNothing) {
    Instrument instrument(fastRepeat());
    for (std::uint8_t pad : {36, 41, 50}) instrument.player->handle(MIDIMessage::noteOn(0, pad, 100));
    std::this_thread::sleep_for(60ms);
    EXPECT_GT(instrument.receiver.messages(), 3u);  // the repeat ran

    instrument.shutdown();
    EXPECT_EQ(instrument.receiver.sounding(), 0u);
    EXPECT_TRUE(instrument.player->soundingNotes().empty());
    const std::size_t heard = instrument.receiver.messages();
    std::this_thread::sleep_for(40ms);
    EXPECT_EQ(instrument.receiver.messages(), heard);

    // The pads' releases after shutdown find nothing to end.
    instrument.player->handle(MIDIMessage::noteOff(0, 36, 0));
    EXPECT_EQ(instrument.receiver.messages(), heard);
}

TEST(PadPlayerOnTimer, ManyThreadsPressingWhileTheTimerRuns) {
    Instrument instrument(fastRepeat());
    std::atomic<bool> playing = true;
    std::vector<std::thread> hands;
    for (unsigned hand = 0; hand < 4; ++hand) {
        hands.emplace_back([&, hand] {
            std::minstd_rand random(hand + 1);
            const auto channel = static_cast<std::uint8_t>(hand % 2);  // two hands share a channel
            std::vector<std::uint8_t> down;
            for (int i = 0; i < 3000; ++i) {
                const auto pad = static_cast<std::uint8_t>(36 + random() % 64);
                PadPlayer& player = *instrument.player;
                switch (random() % 4) {
                    case 0:
                    case 1:
                        player.handle(
                            MIDIMessage::noteOn(channel, pad, static_cast<std::uint8_t>(1 + random() % 127)));
                        down.push_back(pad);
                        break;
                    case 2:
                        if (!down.empty()) {
                            player.handle(MIDIMessage::noteOff(channel, down.back(), 0));
                            down.pop_back();
                        }
                        break;
                    default:
                        player.handle(hand % 2
                                          ? MIDIMessage::channelPressure(
                                                channel, static_cast<std::uint8_t>(random() % 128))
                                          : MIDIMessage::polyPressure(
                                                channel, pad, static_cast<std::uint8_t>(random() % 128)));
                }
                if (i % 200 == 0) std::this_thread::sleep_for(1ms);
            }
            for (std::uint8_t pad : down) instrument.player->handle(MIDIMessage::noteOn(channel, pad, 0));
        });
    }
    std::thread mainQueue([&] {
        std::minstd_rand random(99);
        while (playing) {
            instrument.player->update([&](PadPlayer::Config& c) {
                c.repeatOn = random() % 4 != 0;
                c.accent = random() % 2 == 0;
                c.settings.octave = static_cast<int>(random() % 3) - 1;
                c.settings.inKey = random() % 2 == 0;
                c.dark = random() % 8 == 0;
            });
            instrument.player->refreshLEDs();
            std::this_thread::sleep_for(2ms);
        }
    });
    for (auto& hand : hands) hand.join();
    playing = false;
    mainQueue.join();

    // Every pad is up again, so every note that was played has ended.
    EXPECT_EQ(instrument.receiver.sounding(), 0u);
    EXPECT_TRUE(instrument.player->soundingNotes().empty());
    instrument.shutdown();
    EXPECT_EQ(instrument.receiver.sounding(), 0u);
}

}  // namespace
}  // namespace corvane
