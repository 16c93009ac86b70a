// The bridge's MIDI traffic end to end: start-up, the Push's controls and pads to the script,
// the script's channel messages to the Push, and shutdown.

#include <gtest/gtest.h>

#include <algorithm>

#include "core/PadEngine.h"
#include "core/PushPreferencesStore.h"
#include "core/StateKeys.h"
#include "tests/bridge/BridgeHarness.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using Button = PushMIDIMap::Button;

// A note-off, or a note-on with velocity 0.
bool endsNote(const MIDIMessage& message) {
    const auto* on = message.as<MIDIMessage::NoteOn>();
    return message.is<MIDIMessage::NoteOff>() || (on != nullptr && on->velocity == 0);
}

class BridgeTrafficTest : public BridgeHarness {
protected:
    bool receivedCommand(std::uint8_t command) {
        const auto commands = push->commandsReceived();
        return std::any_of(commands.begin(), commands.end(),
                           [&](const Bytes& body) { return !body.empty() && body[0] == command; });
    }
};

TEST_F(BridgeTrafficTest, StartUpAppliesTheSavedSettingsAsksForTheRestAndGreetsTheScript) {
    settings->set(PushPreferencesStore::aftertouchKey, std::int64_t{1});
    settings->set(PushPreferencesStore::ledBrightnessKey, std::int64_t{64});
    push->setDisplayBrightness(200);
    start();

    // The saved settings first, in their fixed order; then the three queries a moment later.
    const auto commands = push->commandsReceived();
    ASSERT_GE(commands.size(), 2u);
    EXPECT_EQ(commands[0], (Bytes{PushSysEx::setAftertouchMode, 1}));
    EXPECT_EQ(commands[1], (Bytes{PushSysEx::setLEDBrightness, 64}));
    EXPECT_EQ(push->aftertouchMode(), 1);
    EXPECT_EQ(push->ledBrightness(), 64);
    // The replies fill in what the setup page knows of the Push.
    // The aftertouch query goes last.
    ASSERT_TRUE(pumpUntil([&] { return bridge->local().setup.aftertouch == AftertouchMode::poly; }));
    EXPECT_TRUE(receivedCommand(PushSysEx::getLEDBrightness));
    EXPECT_TRUE(receivedCommand(PushSysEx::getDisplayBrightness));
    EXPECT_EQ(bridge->local().setup.ledBrightness, 64);
    EXPECT_EQ(bridge->local().setup.displayBrightness, 200);

    EXPECT_EQ(script->sentByBridge(), (std::vector<BridgeMessage>{BridgeMessage::bridgeHello("0.4.3", true),
                                                                 BridgeMessage::requestResync()}));
    EXPECT_TRUE(logged("INFO Push MIDI connected"));
    // Replies of the Push never reach the script, nor count as traffic.
    EXPECT_TRUE(script->controls().empty());
    EXPECT_EQ(bridge->counters(), Bridge::Counters{});
}

TEST_F(BridgeTrafficTest, APadPlaysOnCorvaneNotesAndAControlGoesToCorvane) {
    start();
    push->pressPad(0, 0, 100);
    ASSERT_TRUE(script->waitForNotes(1));
    const std::uint8_t note = *PadEngine::note(0, 0, bridge->local().pads);
    EXPECT_EQ(script->notes()[0], MIDIMessage::noteOn(0, note, 100));
    push->releasePad(0, 0);
    ASSERT_TRUE(script->waitForNotes(2));
    EXPECT_TRUE(endsNote(script->notes()[1])) << describe(script->notes()[1]);

    push->turnEncoder(2, 3);
    push->pressButton(Button::play);
    ASSERT_TRUE(script->waitForControls(2));
    EXPECT_EQ(script->controls(), (std::vector<MIDIMessage>{MIDIMessage::controlChange(0, 73, 3),
                                                           MIDIMessage::controlChange(0, 85, 127)}));
    const Bridge::Counters counted = bridge->counters();
    EXPECT_EQ(counted.midiFromPush, 2);
    EXPECT_EQ(counted.midiToCubase, 2);
    // Pads are played here, not passed on as controls.
    EXPECT_EQ(script->controls().size(), 2u);
}

TEST_F(BridgeTrafficTest, SceneButtonsGoToTheScriptUnlessTheyPickRepeatRates) {
    start();
    push->pressSceneButton(0);
    ASSERT_TRUE(script->waitForControls(1));
    EXPECT_EQ(script->controls()[0], MIDIMessage::controlChange(0, 43, 127));

    push->pressButton(Button::repeatButton);
    push->releaseButton(Button::repeatButton);
    ASSERT_TRUE(pumpUntil([&] { return bridge->local().repeatOn; }));
    settle();
    push->pressSceneButton(0);
    ASSERT_TRUE(pumpUntil([&] { return bridge->local().repeatRate == RepeatRate::thirtySecondTriplet; }));
    settle();
    EXPECT_EQ(script->controls().size(), 1u);
    EXPECT_EQ(Settings::integer(settings->value("pads.repeatRate")), 7);
}

TEST_F(BridgeTrafficTest, TheScriptsChannelMessagesReachThePushAndEverythingElseStays) {
    start();
    push->clearReceived();
    script->send(MIDIMessage::controlChange(0, 85, 127));
    script->send(MIDIMessage::noteOn(2, 36, 9));  // an animation over a pad
    ASSERT_TRUE(push->waitForMessages(2));
    EXPECT_EQ(push->ledCC(85), 127);
    EXPECT_EQ(push->ledNote(36, 2), 9);

    // A foreign system-exclusive message and a clock tick are counted and go nowhere.
    script->sendBytes({0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7});
    script->sendBytes({0xF8});
    settle();
    EXPECT_EQ(push->receivedCount(), 2u);
    const Bridge::Counters counted = bridge->counters();
    EXPECT_EQ(counted.midiToPush, 2);
    EXPECT_EQ(counted.midiFromCubase, 4);
}

TEST_F(BridgeTrafficTest, ShutdownLeavesNoNoteHeldNoLEDLitAndThePaletteAsItWas) {
    start();
    // The start-up queries answered first: the process ends after shutdown, and nothing may
    // light the Push again before that.
    ASSERT_TRUE(pumpUntil([&] { return bridge->local().setup.aftertouch.has_value(); }));
    connectCubase();
    script->setColor(StateKeys::selectedTrack(StateKeys::ChannelField::color), RGB{200, 40, 40});
    ASSERT_TRUE(push->waitUntil([&] { return push->reapplyCount() > 0; }));
    script->send(MIDIMessage::controlChange(3, 85, 20));  // blinking on channel 4
    push->pressPad(1, 1, 90);
    ASSERT_TRUE(script->waitForNotes(1));
    settle();
    ASSERT_FALSE(push->litLEDs().empty());
    push->clearReceived();
    script->clearReceived();

    bridge->shutdown();
    settle();

    ASSERT_EQ(script->notes().size(), 1u);
    EXPECT_TRUE(endsNote(script->notes()[0])) << describe(script->notes()[0]);
    EXPECT_EQ(script->messages(), (std::vector<BridgeMessage>{BridgeMessage::pushStatus(false)}));
    EXPECT_EQ(push->shownPaletteEntry(94), SimulatedPush3::factoryPaletteEntry(94));
    EXPECT_EQ(push->shownPaletteEntry(95), SimulatedPush3::factoryPaletteEntry(95));
    EXPECT_TRUE(push->litLEDs().empty());
    // Every LED goes off on channel 1, whatever channel lit it.
    for (const MIDIMessage& message : push->received()) {
        if (const auto* cc = message.as<MIDIMessage::ControlChange>()) {
            EXPECT_EQ(cc->channel, 0);
        } else if (const auto* on = message.as<MIDIMessage::NoteOn>()) {
            EXPECT_EQ(on->channel, 0);
        }
    }
    EXPECT_TRUE(logged("INFO shutting down"));
    EXPECT_EQ(usb->openInterfaces(), 0);

    // Until the process has ended nothing plays or lights up again: a note now would stay stuck.
    push->clearReceived();
    script->clearReceived();
    push->pressPad(2, 2, 80);
    script->send(MIDIMessage::controlChange(0, 85, 127));
    script->hello();
    settle();
    pump(std::chrono::milliseconds(100));
    EXPECT_TRUE(script->notes().empty());
    EXPECT_TRUE(script->messages().empty());
    EXPECT_EQ(push->receivedCount(), 0u);
}

}  // namespace
}  // namespace corvane
