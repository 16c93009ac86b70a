// The Push's LED table as the bridge keeps it: after start-up and hello, on each page, with
// note repeat, with the selected track's colour on the pads, and after bursts of changes.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <thread>
#include <tuple>

#include "core/LEDPlan.h"
#include "core/PadPalette.h"
#include "core/StateKeys.h"
#include "tests/bridge/BridgeHarness.h"
#include "tests/support/ThreadWatch.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using Button = PushMIDIMap::Button;
namespace Field = StateKeys::ChannelField;

constexpr std::uint8_t dim = 16, bright = 127, white = 122, darkGray = 124, blue = 125;

class BridgeLEDTest : public BridgeHarness {
protected:
    // Lit buttons (controllers) with their values, on the steady channel.
    std::map<std::uint8_t, std::uint8_t> litButtons() {
        std::map<std::uint8_t, std::uint8_t> lit;
        for (const auto& led : push->litLEDs())
            if (!led.isNote && led.channel == 0) lit[led.number] = led.value;
        return lit;
    }

    std::size_t litPads() {
        const auto lit = push->litLEDs();
        return static_cast<std::size_t>(std::count_if(lit.begin(), lit.end(), [](const SimulatedPush3::LED& led) {
            return led.isNote && led.number >= 36 && led.number <= 99;
        }));
    }

    void setPage(StateKeys::Page page) {
        script->setNumber(StateKeys::Session::page, static_cast<int>(page));
        settle();
    }

    // The bodies of the palette commands the Push got since the last call.
    std::vector<Bytes> paletteCommands() {
        std::vector<Bytes> palette;
        for (const auto& body : push->commandsReceived()) {
            const std::uint8_t command = body.empty() ? 0 : body[0];
            if (command == PushSysEx::getPaletteEntry || command == PushSysEx::setPaletteEntry ||
                command == PushSysEx::reapplyPalette)
                palette.push_back(body);
        }
        push->clearReceived();
        return palette;
    }

    using Address = std::tuple<bool, std::uint8_t, std::uint8_t>;  // a note?, number, channel
    // What the Push shows: every LED by address.
    std::map<Address, std::uint8_t> shown() {
        std::map<Address, std::uint8_t> table;
        for (const auto& led : push->litLEDs()) table[{led.isNote, led.number, led.channel}] = led.value;
        return table;
    }

    // The host changes an LED at an exact moment: from inside the next send to the Push on the
    // main queue that `picked` chooses, the script sends `newer`, which the receive thread passes
    // on to the Push, and the send waits until that thread either waits for a lock the main
    // queue holds or has got `newer` to the Push. An LED goes out under the lock that orders
    // them, so the first.
    struct LEDRace {
        std::atomic<bool> armed{true};
        std::atomic<bool> newerSent{false};
        std::optional<bool> newerWaited;  // written by the main queue's send
    };
    void raceTheNextLEDSend(LEDRace& race, const MIDIMessage& newer,
                            std::function<bool(std::span<const std::uint8_t>)> picked) {
        const MIDIRef live = push->device().destination;
        system->setSendHook([this, &race, live, newer, picked](MIDIRef destination, std::span<const std::uint8_t> bytes) {
            if (destination != live) return;
            const Bytes newerBytes = newer.bytes();
            if (!MainQueue::isCurrent()) {
                if (std::equal(bytes.begin(), bytes.end(), newerBytes.begin(), newerBytes.end())) race.newerSent = true;
                return;
            }
            if (!picked(bytes) || !race.armed.exchange(false)) return;
            // Nothing here holds a lock the receive thread may want, but the one under test.
            const LockWaitWatch waits;
            script->send(newer);
            for (const auto until = std::chrono::steady_clock::now() + 30s;
                 !race.newerWaited && std::chrono::steady_clock::now() < until;) {
                if (LockWaitWatch::anotherThreadWaitsForMe()) {
                    race.newerWaited = true;
                } else if (race.newerSent) {
                    race.newerWaited = false;
                } else {
                    std::this_thread::sleep_for(1ms);
                }
            }
        });
    }

    static bool isLED(std::span<const std::uint8_t> bytes) {
        return bytes.size() == 3 && ((bytes[0] & 0xF0) == 0x90 || (bytes[0] & 0xF0) == 0xB0);
    }
};

// Notes whose LEDs nothing but the host lights: not the pads'.
std::vector<std::uint8_t> notesBesideThePads() {
    std::vector<std::uint8_t> notes;
    for (int note = 0; note < 128; ++note)
        if (note < 36 || note > 99) notes.push_back(static_cast<std::uint8_t>(note));
    return notes;
}

TEST_F(BridgeLEDTest, AfterStartUpTheLocalButtonsAreDimAndThePadsShowTheScale) {
    start();
    using Map = std::map<std::uint8_t, std::uint8_t>;
    // scale, layout, octave up and down, setup, accent, repeat: nothing else while Cubase is away.
    EXPECT_EQ(litButtons(), (Map{{30, dim}, {31, dim}, {54, dim}, {55, dim}, {56, dim}, {57, dim}, {58, dim}}));
    EXPECT_EQ(litPads(), 64u);
    EXPECT_EQ(push->ledPad(0, 0), blue);  // the root, in the standard colours
}

TEST_F(BridgeLEDTest, AfterHelloTheHostButtonsLightForTheTrackPage) {
    start();
    connectCubase();
    settle();
    for (const Button button : LEDPlan::whiteControls) EXPECT_EQ(push->ledButton(button), dim) << int(button);
    EXPECT_EQ(push->ledButton(Button::note), bright);
    EXPECT_EQ(push->ledButton(Button::mix), dim);
    EXPECT_EQ(push->ledButton(Button::device), dim);
    EXPECT_EQ(push->ledButton(Button::session), dim);
    EXPECT_EQ(push->ledButton(Button::mute), white);
    EXPECT_EQ(push->ledButton(Button::solo), white);
    for (int k = 0; k < 8; ++k) EXPECT_EQ(push->ledSceneButton(k), white);
    // The track page's upper buttons offer the selected track's flags, none set yet.
    for (std::uint8_t cc = 102; cc <= 109; ++cc) EXPECT_EQ(push->ledCC(cc), darkGray);

    script->setFlag(StateKeys::selectedTrack(Field::mute), true);
    settle();
    EXPECT_EQ(push->ledCC(102), blue);
    EXPECT_EQ(push->ledButton(Button::mute), blue);
}

TEST_F(BridgeLEDTest, EachPageLightsItsModeButtons) {
    start();
    connectCubase();

    setPage(StateKeys::Page::mix);
    EXPECT_EQ(push->ledButton(Button::mix), bright);
    EXPECT_EQ(push->ledButton(Button::note), dim);
    EXPECT_EQ(push->ledCC(102), white);  // the first mix mode is chosen
    EXPECT_EQ(push->ledCC(103), darkGray);

    setPage(StateKeys::Page::device);
    EXPECT_EQ(push->ledButton(Button::device), bright);
    EXPECT_EQ(push->ledButton(Button::mix), dim);
    EXPECT_EQ(push->ledCC(109), 0);

    setPage(StateKeys::Page::tracks);
    EXPECT_EQ(push->ledButton(Button::session), bright);
    EXPECT_EQ(push->ledButton(Button::sessionScreen), bright);
    EXPECT_EQ(push->ledButton(Button::device), dim);
    for (std::uint8_t cc = 102; cc <= 109; ++cc) EXPECT_EQ(push->ledCC(cc), 0);

    setPage(StateKeys::Page::track);
    EXPECT_EQ(push->ledButton(Button::note), bright);
    EXPECT_EQ(push->ledButton(Button::session), dim);
}

TEST_F(BridgeLEDTest, RepeatLightsItsButtonAndTheRateOnTheSceneButtons) {
    start();
    connectCubase();
    push->pressButton(Button::repeatButton);
    push->releaseButton(Button::repeatButton);
    settle();
    EXPECT_EQ(push->ledButton(Button::repeatButton), bright);
    // 1/16 is the fourth scene button from the top.
    for (int k = 0; k < 8; ++k) EXPECT_EQ(push->ledSceneButton(k), k == 3 ? white : darkGray) << k;

    push->pressSceneButton(0);
    settle();
    EXPECT_EQ(push->ledSceneButton(0), white);
    EXPECT_EQ(push->ledSceneButton(3), darkGray);

    push->pressButton(Button::repeatButton);
    push->releaseButton(Button::repeatButton);
    settle();
    EXPECT_EQ(push->ledButton(Button::repeatButton), dim);
    for (int k = 0; k < 8; ++k) EXPECT_EQ(push->ledSceneButton(k), white) << k;
}

TEST_F(BridgeLEDTest, TheSelectedTracksColourPaintsThePadsThroughTwoPaletteSlots) {
    start();
    connectCubase();
    settle();
    push->clearReceived();
    const auto colorKey = StateKeys::selectedTrack(Field::color);

    script->setColor(colorKey, RGB{200, 40, 40});
    settle();
    const auto red = *PadPalette::entries(RGB{200, 40, 40});
    // The Push's own entries are asked for first, so that shutdown can put them back.
    EXPECT_EQ(paletteCommands(),
              (std::vector<Bytes>{{PushSysEx::getPaletteEntry, 94}, {PushSysEx::getPaletteEntry, 95},
                                  PushSysEx::body(PushSysEx::setPalette(red[0])).value(),
                                  PushSysEx::body(PushSysEx::setPalette(red[1])).value(),
                                  {PushSysEx::reapplyPalette}}));
    EXPECT_EQ(push->shownPaletteEntry(94), red[0]);
    EXPECT_EQ(push->ledPad(0, 0), PadPalette::rootSlot);
    EXPECT_TRUE(logged("INFO palette entry 94 saved for restore"));
    EXPECT_TRUE(logged("INFO palette entry 95 saved for restore"));

    // Another track of the same colour: nothing to write.
    script->setString(StateKeys::selectedTrack(Field::name), "Bass");
    settle();
    EXPECT_TRUE(paletteCommands().empty());

    // Another colour: written again, never asked for again.
    script->setColor(colorKey, RGB{30, 60, 220});
    settle();
    const auto commands = paletteCommands();
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[0][0], PushSysEx::setPaletteEntry);
    EXPECT_EQ(commands[1][0], PushSysEx::setPaletteEntry);
    EXPECT_EQ(commands[2], Bytes{PushSysEx::reapplyPalette});

    // A grey track, or Cubase gone: the standard colours, with no palette traffic.
    script->goodbye();
    ASSERT_TRUE(pumpUntil([&] { return !bridge->cubaseConnected(); }));
    settle();
    EXPECT_TRUE(paletteCommands().empty());
    EXPECT_EQ(push->ledPad(0, 0), blue);
}

TEST_F(BridgeLEDTest, ABurstOfChangesCostsOneUpdateAndAnUnchangedPlanSendsNothing) {
    start();
    // The start-up queries go by first.
    ASSERT_TRUE(pumpUntil([&] { return bridge->local().setup.aftertouch.has_value(); }));
    connectCubase();
    settle();
    push->clearReceived();
    // Away to the mix page and back in one packet: one update, which finds nothing changed.
    Bytes burst = BridgeCodec::encode(HostMessage::setNumber(StateKeys::Session::page, 1));
    const Bytes back = BridgeCodec::encode(HostMessage::setNumber(StateKeys::Session::page, 0));
    burst.insert(burst.end(), back.begin(), back.end());
    script->sendBytes(burst);
    // Both messages reach the main queue before it runs, as when one packet is read at once.
    system->waitForDeliveries();
    settle();
    EXPECT_EQ(bridge->state().number(StateKeys::Session::page), 0);
    EXPECT_EQ(push->receivedCount(), 0u);
}

TEST_F(BridgeLEDTest, AReconnectedPushGetsItsWholeTableBack) {
    start();
    connectCubase();
    script->setColor(StateKeys::selectedTrack(Field::color), RGB{20, 200, 60});
    setPage(StateKeys::Page::mix);
    script->send(MIDIMessage::controlChange(2, 85, 30));  // an animation from the script
    settle();
    const auto before = push->litLEDs();
    const auto palette = push->shownPaletteEntry(94);

    push->unplug();
    settle();
    ASSERT_TRUE(push->litLEDs().empty());  // a power cycle
    push->plug();
    settle();
    EXPECT_EQ(push->litLEDs(), before);
    EXPECT_EQ(push->shownPaletteEntry(94), palette);
}

// The Push read nothing for a while and lost what it had queued: once it reads again it shows
// what the bridge's own full restore (a reconnect) gives.
TEST_F(BridgeLEDTest, APushThatTookNoMessagesForAWhileShowsTheWholeTableAgainOnceItTakesThem) {
    start();
    connectCubase();
    const auto colorKey = StateKeys::selectedTrack(Field::color);
    script->setColor(colorKey, RGB{20, 200, 60});
    settle();

    // Room for one whole replay, which a reader slower than the bridge needs; fewer than the
    // changes send.
    const MIDIRef live = push->device().destination;
    system->setInputPool(live, 160);
    system->setReading(live, false);
    for (int i = 0; i < 60; ++i) {
        script->setColor(colorKey, i % 2 == 0 ? RGB{200, 40, 40} : RGB{30, 60, 220});
        script->setFlag(StateKeys::selectedTrack(Field::mute), i % 2 == 1);
        settle();
    }
    system->setReading(live, true);
    const auto last = *PadPalette::entries(RGB{30, 60, 220});
    ASSERT_TRUE(push->waitUntil(
        [&] { return push->shownPaletteEntry(94) == last[0] && push->shownPaletteEntry(95) == last[1]; }));
    settle();
    const auto lit = push->litLEDs();
    EXPECT_EQ(push->ledButton(Button::mute), blue);

    push->unplug();
    settle();
    push->plug();
    settle();
    EXPECT_EQ(lit, push->litLEDs());
    EXPECT_EQ(push->shownPaletteEntry(94), last[0]);
    EXPECT_EQ(push->shownPaletteEntry(95), last[1]);
}

// The host lit every note and controller on every channel, and the Push takes 200 messages at a
// time. It read nothing for a while, read again, stalled again in the middle of the replay that
// followed, and read again: it ends up showing all of it, and the replay ends.
TEST_F(BridgeLEDTest, AReplayAfterDroppedMessagesGoesInBatchesThePushTakesAndStartsOverAfterAnotherStall) {
    start();
    connectCubase();
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
        for (std::uint8_t number = 0; number < 128; ++number) {
            const auto value = static_cast<std::uint8_t>(1 + (channel + number) % 120);
            script->send(MIDIMessage::noteOn(channel, number, value));
            script->send(MIDIMessage::controlChange(channel, number, value));
        }
        settle();  // within what the bridge's input holds
    }
    using Address = std::tuple<bool, std::uint8_t, std::uint8_t>;
    const auto table = [&] {
        std::map<Address, std::uint8_t> shown;
        for (const auto& led : push->litLEDs()) shown[{led.isNote, led.number, led.channel}] = led.value;
        return shown;
    };
    auto expected = table();
    ASSERT_GT(expected.size(), 4000u);

    const MIDIRef live = push->device().destination;
    system->setInputPool(live, 200);
    system->setReading(live, false);
    for (std::uint8_t channel = 1; channel <= 3; ++channel) {
        for (std::uint8_t number = 0; number < 100; ++number) {
            script->send(MIDIMessage::noteOn(channel, number, 5));
            expected[{true, number, channel}] = 5;
        }
        settle();
    }
    pump(600ms);
    system->setReading(live, true);
    const std::size_t resumedAt = push->receivedCount();
    ASSERT_TRUE(push->waitUntil([&] { return push->receivedCount() > resumedAt + 500; }));
    system->setReading(live, false);
    pump(300ms);
    system->setReading(live, true);

    EXPECT_TRUE(pumpUntil([&] { return logged("LED states after dropped messages"); }, 15s));
    EXPECT_EQ(table(), expected);
}

// The host changes an LED while the main queue sends one to the Push: during a reconnect's
// replay, during the paced replay after the Push refused messages, and during an update of the
// LEDs the bridge plans itself. The receive thread's newer value waits for that send, so it is
// never undone by an older one sent after it.
TEST_F(BridgeLEDTest, AHostValueThatComesWhileAnLEDIsSentWaitsForItAndIsNotUndone) {
    start();
    connectCubase();
    script->startHeartbeat(200ms);
    script->send(MIDIMessage::noteOn(3, 120, 10));  // an animation, last in a replay
    settle();
    {
        SCOPED_TRACE("a reconnect's replay");
        push->unplug();
        settle();
        push->plug();
        LEDRace race;
        raceTheNextLEDSend(race, MIDIMessage::noteOn(3, 120, 20), isLED);
        settle();
        system->setSendHook({});
        EXPECT_EQ(race.newerWaited, std::optional<bool>(true));
        EXPECT_EQ(push->ledNote(120, 3), 20);
    }
    {
        SCOPED_TRACE("the replay after refused messages");
        const MIDIRef live = push->device().destination;
        system->setInputPool(live, 16);
        system->setReading(live, false);
        for (std::uint8_t note = 0; note < 40; ++note) script->send(MIDIMessage::noteOn(4, note, 7));
        system->waitForDeliveries();
        ASSERT_GT(system->inputCounts(live).refused, 0u);
        LEDRace race;
        raceTheNextLEDSend(race, MIDIMessage::noteOn(3, 120, 30), isLED);
        const auto steps = retrySteps(
            live, [&] { return logged("LED states after dropped messages"); },
            [&](const RetryStep&) { readAll(live); });
        system->setSendHook({});
        system->setInputPool(live, SimulatedMIDISystem::defaultInputPool);
        system->setReading(live, true);
        settle();
        ASSERT_TRUE(logged("LED states after dropped messages")) << steps.size() << " steps";
        EXPECT_EQ(race.newerWaited, std::optional<bool>(true));
        EXPECT_EQ(push->ledNote(120, 3), 30);
    }
    {
        SCOPED_TRACE("an update of the bridge's own LEDs");

        LEDRace race;
        raceTheNextLEDSend(race, MIDIMessage::noteOn(3, 120, 40), isLED);
        script->setFlag(StateKeys::selectedTrack(Field::mute), true);
        settle();
        system->setSendHook({});
        EXPECT_EQ(race.newerWaited, std::optional<bool>(true));
        EXPECT_EQ(push->ledNote(120, 3), 40);
        EXPECT_EQ(push->ledButton(Button::mute), blue);
    }
}

// The host changed many LEDs while the Push read nothing, and the Push then reads only between
// the replay's steps, fewer than a batch each time; once it stalls again in the middle of a pass
// and loses a batch it took. The batches shrink until they fit, the pass starts over after the
// second loss, and the Push ends up showing everything.
TEST_F(BridgeLEDTest, APushThatReadsFewerThanABatchBetweenStepsAndStallsAgainMidPassEndsUpShowingEverything) {
    start();
    connectCubase();
    const auto lightAll = [&](std::uint8_t value) {
        for (const std::uint8_t note : notesBesideThePads()) script->send(MIDIMessage::noteOn(0, note, value));
    };
    lightAll(5);
    settle();
    const MIDIRef live = push->device().destination;
    system->setInputPool(live, 40);
    system->setReading(live, false);
    lightAll(9);
    system->waitForDeliveries();
    ASSERT_GT(system->inputCounts(live).refused, 0u);
    auto expected = shown();
    for (const std::uint8_t note : notesBesideThePads()) expected[{true, note, 0}] = 9;

    // Once a step has given the Push changed values, it reads nothing until the next one has
    // overflowed its input.
    std::size_t seen = system->sentTo(live).size();
    bool stalledAgain = false;
    const auto steps = retrySteps(
        live, [&] { return logged("LED states after dropped messages"); },
        [&](const RetryStep& step) {
            const auto runs = system->sentTo(live);
            const bool carriedChanged = std::any_of(runs.begin() + static_cast<std::ptrdiff_t>(seen), runs.end(),
                                                    [](const Bytes& run) { return run.size() == 3 && run[2] == 9; });
            seen = runs.size();
            if (!stalledAgain && !step.refused && carriedChanged) {
                stalledAgain = true;
                return;
            }
            readAll(live);
        });
    readAll(live);
    ASSERT_TRUE(logged("LED states after dropped messages")) << "still replaying after " << steps.size() << " steps";
    EXPECT_TRUE(stalledAgain);
    EXPECT_GE(system->inputCounts(live).lost, 3u);
    EXPECT_TRUE(std::any_of(steps.begin(), steps.end(),
                            [](const RetryStep& step) { return !step.refused && step.offered <= 40; }));
    EXPECT_EQ(shown(), expected);
    system->setInputPool(live, SimulatedMIDISystem::defaultInputPool);
    system->setReading(live, true);
}

}  // namespace
}  // namespace corvane
