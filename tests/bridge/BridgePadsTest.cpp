// The pad instrument as the Push's own controls change it: the scale page with its encoders,
// display buttons and jog wheel, octave, drum mode, accent and note repeat, each applied to the
// pads, saved, and shown in a popup.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <optional>
#include <thread>
#include <vector>

#include "core/PadEngine.h"
#include "core/PadStore.h"
#include "core/PushInputDecoder.h"
#include "core/StateKeys.h"
#include "tests/bridge/BridgeHarness.h"
#include "tests/support/ThreadWatch.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using Button = PushMIDIMap::Button;

class BridgePadsTest : public BridgeHarness {
protected:
    void showScalePage() {
        tap(Button::scale);
        ASSERT_EQ(bridge->screen(), BridgeScreen::scale);
    }

    void turn(int encoder, int delta) {
        push->turnEncoder(encoder, delta);
        settle();
    }

    // The note the pad plays now, heard on "Corvane Notes".
    MIDIMessage playedNote(int row, int column) {
        const std::size_t before = script->notes().size();
        push->pressPad(row, column, 90);
        EXPECT_TRUE(script->waitForNotes(before + 1));
        push->releasePad(row, column);
        EXPECT_TRUE(script->waitForNotes(before + 2));
        return script->notes()[before];
    }

    std::optional<std::int64_t> stored(const char* key) { return Settings::integer(settings->value(key)); }

    // The bridge reads nothing while `meanwhile` happens and more than its input holds follows:
    // the kernel throws all of it away. The bridge has read again, on its receive thread, but
    // nothing that posted to the main queue has run yet.
    void overflowBridgeInput(const std::function<void()>& meanwhile) {
        const MIDIRef bridgeClient = system->findClient(std::string(Bridge::clientName)).value();
        system->waitForDeliveries();
        system->setInputPool(bridgeClient, 16);
        system->setReading(bridgeClient, false);
        meanwhile();
        for (int i = 0; i < 10; ++i) {
            push->pressPad(0, 0);
            push->releasePad(0, 0);
        }
        system->setReading(bridgeClient, true);
        system->waitForDeliveries();
        system->setInputPool(bridgeClient, SimulatedMIDISystem::defaultInputPool);
    }

    // The same, and everything that follows settled.
    void overrunBridgeInput(const std::function<void()>& meanwhile) {
        overflowBridgeInput(meanwhile);
        settle();
    }

    std::optional<Popup> popup() { return bridge->visiblePopup(); }

    // Each control as the host last heard it on "Corvane Notes", by status byte and number (0 for
    // a bend or channel pressure).
    using Controls = std::map<std::pair<std::uint8_t, std::uint8_t>, int>;
    Controls hostControls() {
        Controls last;
        for (const MIDIMessage& message : script->notes()) {
            const Bytes bytes = message.bytes();
            const std::uint8_t kind = bytes[0] & 0xF0;
            if (kind == 0xE0) {
                last[{bytes[0], 0}] = bytes[1] | bytes[2] << 7;
            } else if (kind == 0xD0) {
                last[{bytes[0], 0}] = bytes[1];
            } else if (kind == 0xA0 || kind == 0xB0) {
                last[{bytes[0], bytes[1]}] = bytes[2];
            }
        }
        return last;
    }

    // What the bridge says when it has sent the host again all it missed.
    static constexpr const char* resendOver = "note-offs and control values again that it had missed";
};

// Notes that are not pads': on another channel than the pads' they pass straight on.
std::vector<std::uint8_t> notesBesideThePads() {
    std::vector<std::uint8_t> notes;
    for (int note = 0; note < 128; ++note)
        if (note < 36 || note > 99) notes.push_back(static_cast<std::uint8_t>(note));
    return notes;
}

TEST_F(BridgePadsTest, TheScalePageKeepsTheEncodersAndDisplayButtonsButNotTheTouches) {
    start();
    connectCubase();
    showScalePage();
    script->clearReceived();

    push->touchEncoder(0);
    turn(0, 5);
    push->pressUpperDisplayButton(3);
    push->releaseUpperDisplayButton(3);
    push->turnJogWheel(1);
    settle();
    // Only the touch reaches the script.
    ASSERT_EQ(script->controls().size(), 1u);
    EXPECT_TRUE(script->controls()[0].is<MIDIMessage::NoteOn>());
    EXPECT_EQ(bridge->local().pads.scaleIndex, 1);

    tap(Button::scale);
    EXPECT_NE(bridge->screen(), BridgeScreen::scale);
    script->clearReceived();
    turn(0, 5);
    EXPECT_TRUE(script->waitForControls(1));
    EXPECT_EQ(bridge->local().pads.root, 2);  // from the upper button only
}

TEST_F(BridgePadsTest, ScalePageEncodersStepOnceForEveryFourUnitsAndStayInRange) {
    start();
    showScalePage();

    turn(1, 3);
    EXPECT_EQ(bridge->local().pads.scaleIndex, 0);
    turn(1, 1);
    EXPECT_EQ(bridge->local().pads.scaleIndex, 1);
    turn(1, 3);  // the sum started again at the step
    EXPECT_EQ(bridge->local().pads.scaleIndex, 1);
    turn(1, -3);
    turn(1, -4);
    EXPECT_EQ(bridge->local().pads.scaleIndex, 0);
    turn(1, -40);  // one step however large the turn, and never below the first scale
    EXPECT_EQ(bridge->local().pads.scaleIndex, 0);

    turn(0, -4);  // the root wraps round
    EXPECT_EQ(bridge->local().pads.root, 11);
    turn(0, 4);
    EXPECT_EQ(bridge->local().pads.root, 0);

    for (int i = 0; i < 10; ++i) turn(2, 4);
    EXPECT_EQ(bridge->local().pads.octave, 4);
    for (int i = 0; i < 10; ++i) turn(2, -4);
    EXPECT_EQ(bridge->local().pads.octave, -3);

    // Hiding the page forgets a part-turned encoder.
    turn(1, 3);
    tap(Button::scale);
    showScalePage();
    turn(1, 1);
    EXPECT_EQ(bridge->local().pads.scaleIndex, 0);
    // Encoders without a setting do nothing.
    const PadSettings before = bridge->local().pads;
    for (int encoder = 3; encoder < 8; ++encoder) turn(encoder, 8);
    EXPECT_EQ(bridge->local().pads, before);
}

TEST_F(BridgePadsTest, ScalePageButtonsAndJogWheelChangeThePadsAndAreSaved) {
    start();
    showScalePage();
    auto pressUpper = [&](int index) {
        push->pressUpperDisplayButton(index);
        push->releaseUpperDisplayButton(index);
    };
    auto pressLower = [&](int index) {
        push->pressLowerDisplayButton(index);
        push->releaseLowerDisplayButton(index);
    };

    pressUpper(0);  // layout
    pressUpper(4);  // A
    pressUpper(7);  // fixed
    pressLower(0);  // chromatic
    push->turnJogWheel(3);
    push->turnJogWheel(2);
    push->turnJogWheel(-1);
    settle();
    PadSettings expected;
    expected.layout = NoteLayout::fourthsRight;
    expected.root = 9;
    expected.fixed = true;
    expected.inKey = false;
    expected.scaleIndex = 1;
    EXPECT_EQ(bridge->local().pads, expected);

    pressLower(2);  // B flat
    pressLower(7);  // nothing
    settle();
    expected.root = 10;
    EXPECT_EQ(bridge->local().pads, expected);

    // The pads play the new settings.
    EXPECT_EQ(playedNote(2, 3), MIDIMessage::noteOn(0, *PadEngine::note(2, 3, expected), 90));
    // And the next start reads them back.
    EXPECT_EQ(PadStore::load(settings->reader()), expected);
    EXPECT_EQ(stored(PadStore::rootKey), 10);
}

TEST_F(BridgePadsTest, OctaveButtonsStayWithinRangeAndShowTheNoteRange) {
    start();
    for (int i = 0; i < 6; ++i) tap(Button::octaveUp);
    EXPECT_EQ(bridge->local().pads.octave, 4);
    EXPECT_EQ(stored(PadStore::octaveKey), 4);
    const auto range = *PadEngine::range(bridge->local().pads);
    ASSERT_TRUE(popup());
    EXPECT_EQ(*popup(), Popup("OCTAVE", PadSettings::noteName(range.low) + " – " + PadSettings::noteName(range.high)));

    for (int i = 0; i < 10; ++i) tap(Button::octaveDown);
    EXPECT_EQ(bridge->local().pads.octave, -3);
    EXPECT_EQ(playedNote(0, 0), MIDIMessage::noteOn(0, *PadEngine::note(0, 0, bridge->local().pads), 90));
}

TEST_F(BridgePadsTest, LayoutSwitchesBetweenDrumsAndNotes) {
    start();
    tap(Button::layout);
    EXPECT_TRUE(bridge->local().pads.drums);
    EXPECT_EQ(*popup(), Popup("PADS", "Drums"));
    EXPECT_EQ(Settings::boolean(settings->value(PadStore::drumsKey)), true);
    EXPECT_EQ(playedNote(0, 0), MIDIMessage::noteOn(0, *PadEngine::note(0, 0, bridge->local().pads), 90));

    tap(Button::layout);
    EXPECT_FALSE(bridge->local().pads.drums);
    EXPECT_EQ(*popup(), Popup("PADS", "Notes"));
}

TEST_F(BridgePadsTest, AccentLatchesOnATapAndIsMomentaryOnAHold) {
    start();
    tap(Button::accent);
    EXPECT_TRUE(bridge->local().accent);
    EXPECT_EQ(*popup(), Popup("ACCENT", "On"));
    EXPECT_EQ(playedNote(1, 1).as<MIDIMessage::NoteOn>()->velocity, 127);

    tap(Button::accent);
    EXPECT_FALSE(bridge->local().accent);
    EXPECT_EQ(*popup(), Popup("ACCENT", "Off"));
    EXPECT_EQ(playedNote(1, 1).as<MIDIMessage::NoteOn>()->velocity, 90);

    push->pressButton(Button::accent);
    settle();
    EXPECT_TRUE(bridge->local().accent);
    pump(500ms);
    push->releaseButton(Button::accent);
    settle();
    EXPECT_FALSE(bridge->local().accent);
    // Accent is not kept for the next start.
    EXPECT_FALSE(settings->value("pads.accent"));
}

TEST_F(BridgePadsTest, RepeatShowsItsRateAndTheSceneButtonsChooseAnother) {
    start();
    tap(Button::repeatButton);
    EXPECT_TRUE(bridge->local().repeatOn);
    EXPECT_EQ(*popup(), Popup("REPEAT", "1/16"));

    push->pressSceneButton(1);
    push->releaseSceneButton(1);
    settle();
    EXPECT_EQ(bridge->local().repeatRate, RepeatRate::thirtySecond);
    EXPECT_EQ(*popup(), Popup("REPEAT", "1/32"));
    EXPECT_EQ(stored(PadStore::repeatRateKey), 6);

    // A hold switches it off again at the release.
    tap(Button::repeatButton);
    EXPECT_FALSE(bridge->local().repeatOn);
    EXPECT_EQ(*popup(), Popup("REPEAT", "Off"));
    push->pressButton(Button::repeatButton);
    settle();
    pump(500ms);
    push->releaseButton(Button::repeatButton);
    settle();
    EXPECT_FALSE(bridge->local().repeatOn);

    // Off, a scene button goes to the script and shows the marker it sets.
    script->clearReceived();
    push->pressSceneButton(4);
    ASSERT_TRUE(script->waitForControls(1));
    settle();
    EXPECT_EQ(*popup(), Popup("MARKER", "5"));
    EXPECT_EQ(bridge->local().repeatRate, RepeatRate::thirtySecond);

    bridge.reset();
    settle();
    start();
    EXPECT_EQ(bridge->local().repeatRate, RepeatRate::thirtySecond);
    EXPECT_FALSE(bridge->local().repeatOn);
}

// The kernel threw away what the bridge had not read yet, a pad's release among it.
TEST_F(BridgePadsTest, AnInputOverrunEndsTheHeldPadsNoteAndAsksTheScriptForItsStateAgain) {
    start();
    connectCubase();
    auto resyncRequests = [&] {
        const auto messages = script->messages();
        return std::count(messages.begin(), messages.end(), BridgeMessage::requestResync());
    };
    const std::uint8_t unpressed = push->ledPad(7, 7);
    push->pressPad(7, 7, 100);
    ASSERT_TRUE(script->waitForNotes(1));
    settle();
    ASSERT_NE(push->ledPad(7, 7), unpressed);
    const auto resyncsBefore = resyncRequests();

    overrunBridgeInput([&] { push->releasePad(7, 7); });

    EXPECT_TRUE(script->heldNotes().empty());
    EXPECT_EQ(push->ledPad(7, 7), unpressed);
    EXPECT_EQ(resyncRequests(), resyncsBefore + 1);
    // The pad plays again at its next press.
    script->clearReceived();
    push->pressPad(7, 7, 80);
    ASSERT_TRUE(script->waitForNotes(1));
    EXPECT_EQ(script->notes()[0], MIDIMessage::noteOn(0, *PadEngine::note(7, 7, bridge->local().pads), 80));
}

// A pedal, a bend and pressure whose releases were lost with the pad's go back to rest too.
TEST_F(BridgePadsTest, AnInputOverrunBringsThePedalTheBendAndThePressureBackToRest) {
    start();
    connectCubase();
    push->pedal(true);
    push->touchStrip(16383);
    push->pressPad(3, 3, 100);
    push->channelPressure(96);
    push->padPressure(3, 3, 90);
    ASSERT_TRUE(script->waitForNotes(5));

    overrunBridgeInput([&] {
        push->padPressure(3, 3, 0);
        push->channelPressure(0);
        push->releasePad(3, 3);
        push->touchStrip(8192);
        push->pedal(false);
    });

    const std::uint8_t note = *PadEngine::note(3, 3, bridge->local().pads);
    EXPECT_EQ(hostControls(), (Controls{{{0xA0, note}, 0}, {{0xB0, 64}, 0}, {{0xD0, 0}, 0}, {{0xE0, 0}, 8192}}));
    EXPECT_TRUE(script->heldNotes().empty());
}

TEST_F(BridgePadsTest, AnInputOverrunLetsGoOfAHeldAccentAndRepeat) {
    start();
    connectCubase();
    const std::uint8_t accentOff = push->ledButton(Button::accent);
    const std::uint8_t repeatOff = push->ledButton(Button::repeatButton);
    push->pressButton(Button::accent);
    push->pressButton(Button::repeatButton);
    settle();
    ASSERT_TRUE(bridge->local().accent && bridge->local().repeatOn);
    ASSERT_NE(push->ledButton(Button::accent), accentOff);
    pump(500ms);  // held, not tapped

    overrunBridgeInput([&] {
        push->releaseButton(Button::accent);
        push->releaseButton(Button::repeatButton);
    });

    EXPECT_FALSE(bridge->local().accent);
    EXPECT_FALSE(bridge->local().repeatOn);
    EXPECT_EQ(push->ledButton(Button::accent), accentOff);
    EXPECT_EQ(push->ledButton(Button::repeatButton), repeatOff);
    script->clearReceived();
    EXPECT_EQ(playedNote(1, 1).as<MIDIMessage::NoteOn>()->velocity, 90);
    pump(300ms);
    EXPECT_EQ(script->notes().size(), 2u) << "the pad repeated";

    // Pressed just before the loss, which a tap's release would latch on: the presses and the
    // loss are all read before the main queue handles any of them, well within a tap.
    push->pressButton(Button::accent);
    push->pressButton(Button::repeatButton);
    overflowBridgeInput([&] {
        push->releaseButton(Button::accent);
        push->releaseButton(Button::repeatButton);
    });
    settle();
    EXPECT_FALSE(bridge->local().accent);
    EXPECT_FALSE(bridge->local().repeatOn);
    EXPECT_EQ(push->ledButton(Button::accent), accentOff);
    EXPECT_EQ(push->ledButton(Button::repeatButton), repeatOff);
}

// The pedal and a pad pressed after the loss, read before the main queue has caught up with it:
// the loss's own handling, however late it runs, ends neither.
TEST_F(BridgePadsTest, WhatIsPlayedAfterAnInputOverrunIsNotEndedByItsHandling) {
    start();
    connectCubase();
    overflowBridgeInput([] {});
    push->pedal(true);
    push->pressPad(4, 4, 100);
    system->waitForDeliveries();
    settle();

    EXPECT_EQ((hostControls()[{0xB0, 64}]), 127);
    const std::uint8_t note = *PadEngine::note(4, 4, bridge->local().pads);
    EXPECT_EQ(script->heldNotes(), (std::vector<std::pair<std::uint8_t, std::uint8_t>>{{0, note}}));
}

// Half a message read before the loss must not join with what comes after it.
TEST_F(BridgePadsTest, AMessageCutByAnInputOverrunIsNotCompletedByWhatFollows) {
    start();
    connectCubase();
    push->send(Bytes{0x90, PushInputDecoder::padNote(2, 2)});
    settle();
    overrunBridgeInput([] {});
    push->send(Bytes{100});
    settle();
    EXPECT_TRUE(script->notes().empty()) << script->notes().size() << " notes";
}

// The host read nothing for a while and the kernel threw away what it had queued: a note-off it
// took before its input filled and one it refused after reach it once it reads again, with more
// note-offs to send again than its input holds. It reads only between the bridge's steps.
TEST_F(BridgePadsTest, NoteOffsAStalledHostLostOrRefusedReachItOnceItReadsAgain) {
    start();
    connectCubase();
    push->pressPad(2, 2);
    push->pressPad(5, 5);
    ASSERT_TRUE(script->waitForNotes(2));
    const MIDIRef host = system->findClient("Cubase").value();
    system->setInputPool(host, 16);
    system->setReading(host, false);
    push->releasePad(2, 2);  // taken, then lost with the queue
    for (const int row : {0, 1, 3, 4, 6}) {
        for (int column = 0; column < 8; ++column) {
            push->pressPad(row, column);
            push->releasePad(row, column);
        }
    }
    push->releasePad(5, 5);  // refused
    system->waitForDeliveries();
    ASSERT_GT(system->inputCounts(host).refused, 0u);

    const auto steps = retrySteps(
        host, [&] { return timesLogged(resendOver) > 0; }, [&](const RetryStep&) { readAll(host); });
    readAll(host);
    EXPECT_EQ(timesLogged(resendOver), 1u) << "still sending after " << steps.size() << " steps";
    EXPECT_TRUE(script->heldNotes().empty()) << script->heldNotes().size() << " notes still sound";
    system->setInputPool(host, SimulatedMIDISystem::defaultInputPool);
    system->setReading(host, true);
}

// The pad player sends from the receive thread and the note-repeat thread, which may be a
// real-time one: a send the host or the Push refuses only leaves word for the main queue, with
// nothing allocated for it on the sending thread (the allocator's locks do not inherit
// priority), and what was refused still reaches both once they read again.
TEST_F(BridgePadsTest, ASendTheHostOrThePushRefusesAllocatesNothingAndStillGoesAgain) {
    start();
    connectCubase();
    const std::uint8_t unpressed = push->ledPad(2, 2);
    const MIDIRef bridgeInput = system->readersOf(push->device().source).at(0);
    // What the receive thread allocates handling one release of the pad.
    const auto allocationsForARelease = [&] {
        std::optional<std::size_t> allocations;
        system->setDeliveryHook([&](MIDIRef port, const std::function<void()>& deliver) {
            if (port != bridgeInput || allocations) return deliver();
            ThreadWatch watch;
            deliver();
            allocations = watch.allocations();
        });
        push->releasePad(2, 2);
        system->waitForDeliveries();
        system->setDeliveryHook({});
        return allocations.value();
    };
    push->pressPad(2, 2);
    push->releasePad(2, 2);
    push->pressPad(2, 2);
    settle();
    const std::size_t whenTaken = allocationsForARelease();
    push->pressPad(2, 2);
    ASSERT_TRUE(script->waitForNotes(5));
    settle();

    // Each input takes one more, and then that one: a held pedal, which lights nothing, and an
    // LED of the script's.
    const MIDIRef host = system->findClient("Cubase").value();
    const MIDIRef live = push->device().destination;
    for (const MIDIRef reader : {host, live}) {
        system->setInputPool(reader, 1);
        system->setReading(reader, false);
    }
    push->pedal(true);
    script->send(MIDIMessage::noteOn(2, 120, 5));
    system->waitForDeliveries();
    ASSERT_EQ(system->inputCounts(host).refused, 0u);
    ASSERT_EQ(system->inputCounts(live).refused, 0u);
    const std::size_t whenRefused = allocationsForARelease();
    ASSERT_GT(system->inputCounts(host).refused, 0u) << "the note-off went through";
    ASSERT_GT(system->inputCounts(live).refused, 0u) << "the pad's LED went through";
    EXPECT_EQ(whenRefused, whenTaken);

    for (const MIDIRef reader : {host, live}) {
        system->setInputPool(reader, SimulatedMIDISystem::defaultInputPool);
        system->setReading(reader, true);
    }
    EXPECT_TRUE(script->waitUntil([&] { return script->heldNotes().empty(); })) << "the note still sounds";
    EXPECT_TRUE(push->waitUntil([&] { return push->ledPad(2, 2) == unpressed; })) << "the pad shows pressed";
}

// The host read nothing while notes were played and ended and controls moved, and then reads
// only between the bridge's steps. First its input holds exactly one batch: each batch fits,
// and nothing more is lost. Then it stalls again, taking changed values and losing them with its
// queue, and holds fewer than a batch: the batches shrink until they fit. Each time it ends with
// every note ended and every control at the latest value it was given. A pad pressed while a
// step sends waits for the step: the step holds the pad player's lock.
TEST_F(BridgePadsTest, WhatAStalledHostMissedReachesItInBatchesItTakesWithEveryControlsLatestValue) {
    start();
    connectCubase();
    const MIDIRef host = system->findClient("Cubase").value();
    const MIDIRef notesSource = system->findSource(std::string(Bridge::notesPortName)).value();
    push->pressPad(2, 2);
    ASSERT_TRUE(script->waitForNotes(1));
    settle();

    system->setInputPool(host, 64);
    system->setReading(host, false);
    Controls expected;
    push->pedal(true);
    expected[{0xB0, 64}] = 127;
    push->touchStrip(16383);
    expected[{0xE0, 0}] = 16383;
    for (const std::uint8_t note : notesBesideThePads()) {
        push->send(Bytes{0x91, note, 100});
        push->send(Bytes{0x81, note, 0});
    }
    for (std::uint8_t controller = 0; controller < 64; ++controller) {
        push->send(Bytes{0xB1, controller, static_cast<std::uint8_t>(controller + 1)});
        expected[{0xB1, controller}] = controller + 1;
    }
    push->releasePad(2, 2);
    push->channelPressure(40);
    expected[{0xD0, 0}] = 40;
    system->waitForDeliveries();
    ASSERT_GT(system->inputCounts(host).refused, 64u);

    const auto firstSteps = retrySteps(
        host, [&] { return timesLogged(resendOver) > 0; }, [&](const RetryStep&) { readAll(host); });
    readAll(host);
    ASSERT_EQ(timesLogged(resendOver), 1u) << "still sending after " << firstSteps.size() << " steps";
    EXPECT_EQ(system->inputCounts(host).lost, 1u) << "a batch did not fit";
    for (const RetryStep& step : firstSteps) EXPECT_LE(step.offered, 64u);
    EXPECT_TRUE(script->heldNotes().empty()) << script->heldNotes().size() << " notes still sound";
    EXPECT_EQ(hostControls(), expected);

    system->setInputPool(host, 40);
    push->touchStrip(4000);
    expected[{0xE0, 0}] = 4000;
    push->send(Bytes{0xB1, 5, 99});
    expected[{0xB1, 5}] = 99;
    push->send(Bytes{0xB2, 7, 77});
    expected[{0xB2, 7}] = 77;
    push->channelPressure(20);
    expected[{0xD0, 0}] = 20;
    for (std::uint8_t note = 0; note < 36; ++note) {
        push->send(Bytes{0x91, note, 100});
        push->send(Bytes{0x81, note, 0});
    }
    system->waitForDeliveries();
    ASSERT_GT(system->inputCounts(host).refused, 140u);

    const std::uint8_t padNote = *PadEngine::note(6, 6, bridge->local().pads);
    const Bytes padOn{0x90, padNote, 33};
    std::atomic<bool> armed{true};
    std::atomic<bool> padSent{false};
    std::optional<bool> padWaited;
    system->setSendHook([&](MIDIRef source, std::span<const std::uint8_t> bytes) {
        if (source != notesSource) return;
        if (!MainQueue::isCurrent()) {
            if (std::equal(bytes.begin(), bytes.end(), padOn.begin(), padOn.end())) padSent = true;
            return;
        }
        if (!armed.exchange(false)) return;
        // Nothing here takes a lock the receive thread may want, but the one under test.
        const LockWaitWatch waits;
        push->pressPad(6, 6, 33);
        for (const auto until = std::chrono::steady_clock::now() + 30s;
             !padWaited && std::chrono::steady_clock::now() < until;) {
            if (LockWaitWatch::anotherThreadWaitsForMe()) {
                padWaited = true;
            } else if (padSent) {
                padWaited = false;
            } else {
                std::this_thread::sleep_for(1ms);
            }
        }
    });
    bool released = false;
    const auto secondSteps = retrySteps(
        host, [&] { return timesLogged(resendOver) > 1; },
        [&](const RetryStep&) {
            readAll(host);
            if (armed || released) return;
            push->releasePad(6, 6);
            released = true;
        });
    system->setSendHook({});
    readAll(host);
    ASSERT_EQ(timesLogged(resendOver), 2u) << "still sending after " << secondSteps.size() << " steps";
    EXPECT_EQ(padWaited, std::optional<bool>(true)) << "the pad played in the middle of a step";
    EXPECT_TRUE(std::any_of(secondSteps.begin(), secondSteps.end(),
                            [](const RetryStep& step) { return !step.refused && step.offered <= 40; }));
    EXPECT_TRUE(script->heldNotes().empty()) << script->heldNotes().size() << " notes still sound";
    EXPECT_EQ(hostControls(), expected);
    system->setReading(host, true);
}

TEST_F(BridgePadsTest, MasterAndTempoPopupsShowTheCurrentValues) {
    start();
    connectCubase();
    push->touchVolumeEncoder();
    settle();
    EXPECT_EQ(*popup(), Popup("MAIN", "—"));

    // Made anew at each draw: a value that arrives while it is up shows in it.
    script->setString(StateKeys::Master::name, "Stereo Out");
    script->setString(StateKeys::Master::volumeText, "-3.0 dB");
    script->setNumber(StateKeys::Master::volume, 16383);
    settle();
    EXPECT_EQ(*popup(), Popup("STEREO OUT", "-3.0 dB", 1.0));

    push->touchTempoEncoder();
    settle();
    EXPECT_EQ(*popup(), Popup("TEMPO", "—"));
    script->setString(StateKeys::Transport::tempoText, "128.00");
    push->turnVolumeEncoder(1);
    settle();
    EXPECT_EQ(popup()->title, "STEREO OUT");
    tap(Button::tapTempo);
    EXPECT_EQ(*popup(), Popup("TEMPO", "128.00"));
    tap(Button::volumePress);
    EXPECT_EQ(popup()->title, "STEREO OUT");
    // A release shows nothing new.
    push->turnTempoEncoder(1);
    settle();
    push->touchVolumeEncoder(false);
    settle();
    EXPECT_EQ(popup()->title, "TEMPO");
}

TEST_F(BridgePadsTest, APopupGoesAfterOneAndAHalfSecondsWithARedrawToTakeItAway) {
    usb->plug();
    start();
    tap(Button::accent);
    ASSERT_TRUE(popup());
    pump(1200ms);
    EXPECT_TRUE(popup());
    const int renders = rendersWhenQuiet();
    ASSERT_TRUE(rendersAfter(renders));
    EXPECT_FALSE(popup());
}

}  // namespace
}  // namespace corvane
