// The Push's MIDI port and its display coming and going while the bridge runs.

#include <gtest/gtest.h>

#include <algorithm>

#include "core/PadEngine.h"
#include "core/PadPalette.h"
#include "core/PushPreferencesStore.h"
#include "core/StateKeys.h"
#include "tests/bridge/BridgeHarness.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using Button = PushMIDIMap::Button;

class BridgeDevicesTest : public BridgeHarness {
protected:
    // Cubase connected, the selected track's colour on the pads through the palette, a light of
    // the script's on and a preference of the Push's saved.
    void startInUse() {
        settings->set(PushPreferencesStore::ledBrightnessKey, std::int64_t{50});
        start();
        connectCubase();
        script->setColor(StateKeys::selectedTrack(StateKeys::ChannelField::color), RGB{200, 40, 40});
        script->send(MIDIMessage::controlChange(0, 85, 127));
        ASSERT_TRUE(push->waitUntil([&] { return push->ledCC(85) == 127; }));
        waitForTheSettingsQueries();
    }

    // The Push is asked for its settings a while after it is set up, one query after another.
    void waitForTheSettingsQueries() {
        const Bytes last = PushSysEx::settingsQueries().back();
        ASSERT_TRUE(push->waitUntil([&] {
            const auto sysex = push->receivedSysex();
            return std::find(sysex.begin(), sysex.end(), last) != sysex.end();
        }));
        settle();
    }

    // What the Push was sent since it was last cleared, in an order of its own: timers interleave
    // the queries with the rest.
    std::vector<Bytes> receivedInAnyOrder() {
        std::vector<Bytes> messages;
        for (const auto& message : push->received()) messages.push_back(message.bytes());
        std::sort(messages.begin(), messages.end());
        return messages;
    }

    // What the Push is sent when plugged in again while the bridge reads: the whole set-up.
    std::vector<Bytes> setUpOnAReplug() {
        push->unplug();
        settle();
        push->clearReceived();
        push->setLEDBrightness(127);  // changed on the device meanwhile: the saved value goes again
        push->plug();
        waitForTheSettingsQueries();
        return receivedInAnyOrder();
    }

    // Once the bridge has read again, the Push got the whole set-up and plays.
    void expectSetUpAsOnAReplug(const std::vector<Bytes>& replug) {
        waitForTheSettingsQueries();
        EXPECT_EQ(receivedInAnyOrder(), replug);
        EXPECT_EQ(push->ledCC(85), 127);
        EXPECT_EQ(push->ledBrightness(), 50);
        const auto red = *PadPalette::entries(RGB{200, 40, 40});
        EXPECT_EQ(push->shownPaletteEntry(94), red[0]);
        EXPECT_EQ(push->shownPaletteEntry(95), red[1]);
        EXPECT_TRUE(bridge->status().pushConnected);
        script->clearReceived();
        push->pressPad(0, 0, 90);
        ASSERT_TRUE(script->waitForNotes(1));
        EXPECT_EQ(script->notes()[0],
                  MIDIMessage::noteOn(0, *PadEngine::note(0, 0, bridge->local().pads), 90));
    }

    MIDIRef bridgeClient() { return system->findClient(std::string(Bridge::clientName)).value(); }

    // The bridge stops reading, and more than its input holds comes from the Push: at its next
    // read the kernel throws all of it away.
    void stopTheBridgeAndOverflowItsInput() {
        system->setInputPool(bridgeClient(), 16);
        system->setReading(bridgeClient(), false);
        for (int i = 0; i < 10; ++i) {
            push->pressPad(7, 7);
            push->releasePad(7, 7);
        }
    }
};

TEST_F(BridgeDevicesTest, ThePushUnpluggedAndPluggedBackGetsEverythingAgain) {
    settings->set(PushPreferencesStore::ledBrightnessKey, std::int64_t{50});
    start();
    connectCubase();
    script->send(MIDIMessage::controlChange(0, 85, 127));  // the script lights play
    ASSERT_TRUE(push->waitUntil([&] { return push->ledCC(85) == 127; }));
    settle();

    push->unplug();
    settle();
    EXPECT_FALSE(bridge->status().pushConnected);
    EXPECT_TRUE(script->waitFor(BridgeMessage::pushStatus(false)));
    EXPECT_TRUE(logged("INFO Push MIDI disconnected"));
    // While it is away the page changes; the LEDs are kept for its return.
    script->setNumber(StateKeys::Session::page, 1);
    settle();
    push->setLEDBrightness(127);  // as if changed on the device meanwhile
    push->plug();
    settle();

    EXPECT_TRUE(script->waitFor(BridgeMessage::pushStatus(true)));
    EXPECT_TRUE(logged("INFO Push MIDI connected"));
    EXPECT_TRUE(logged(" LED states"));
    EXPECT_EQ(push->ledCC(85), 127);
    EXPECT_EQ(push->ledButton(Button::mix), 127);
    EXPECT_EQ(push->ledButton(Button::note), 16);
    EXPECT_EQ(push->ledButton(Button::undo), 16);
    EXPECT_NE(push->ledPad(0, 0), 0);
    EXPECT_EQ(push->ledBrightness(), 50);  // the saved settings, sent again
    EXPECT_TRUE(push->waitUntil([&] {
        const auto commands = push->commandsReceived();
        return !commands.empty() && commands.back() == Bytes{PushSysEx::getAftertouchMode};
    }));
}

// The machine froze (a suspend, a stopped bridge) while the Push was plugged in again at its
// old address: the bridge reads the changes late, and sets the Push up as after any re-plug.
TEST_F(BridgeDevicesTest, APushPluggedBackWhileTheBridgeReadNothingGetsTheWholeSetUpAgain) {
    startInUse();
    const auto replug = setUpOnAReplug();

    system->setReading(bridgeClient(), false);
    push->unplug();
    push->clearReceived();
    push->setLEDBrightness(127);
    push->plugBack();
    settle();
    system->setReading(bridgeClient(), true);
    settle();
    expectSetUpAsOnAReplug(replug);
}

// Meanwhile the bridge's input overflowed: the news of the re-plug went with it, and the Push is
// back at its old address under its old ID, as if it never went.
TEST_F(BridgeDevicesTest, APushPluggedBackWhileTheBridgesInputOverflowedGetsTheWholeSetUpAgain) {
    startInUse();
    const auto replug = setUpOnAReplug();

    stopTheBridgeAndOverflowItsInput();
    push->unplug();
    push->clearReceived();
    push->setLEDBrightness(127);
    push->plugBack(push->uniqueID());
    settle();
    system->setReading(bridgeClient(), true);
    settle();
    expectSetUpAsOnAReplug(replug);
}

// The bridge's input overflowed with the Push still there, its connections in place: nothing was
// re-plugged, so neither the log nor the script hears of it going. It is set up again all the
// same: what it said meanwhile, its answers among it, went with the loss.
TEST_F(BridgeDevicesTest, AnInputOverrunWithThePushStillThereSetsItUpAgainWithoutReportingAReplug) {
    startInUse();
    const auto replug = setUpOnAReplug();
    const std::size_t logBefore = logText().size();
    script->clearReceived();

    stopTheBridgeAndOverflowItsInput();
    push->clearReceived();
    push->setLEDBrightness(127);
    system->setReading(bridgeClient(), true);
    settle();
    system->setInputPool(bridgeClient(), SimulatedMIDISystem::defaultInputPool);

    waitForTheSettingsQueries();
    const std::string since = logText().substr(logBefore);
    EXPECT_EQ(since.find("Push MIDI"), std::string::npos) << since;
    for (const BridgeMessage& message : script->messages()) {
        EXPECT_NE(message, BridgeMessage::pushStatus(false));
        EXPECT_NE(message, BridgeMessage::pushStatus(true));
    }
    expectSetUpAsOnAReplug(replug);
}

TEST_F(BridgeDevicesTest, APushUnpluggedWithPadsDownLeavesNoNoteSoundingAndNoRepeatRunning) {
    start();
    push->pressButton(Button::repeatButton);
    push->releaseButton(Button::repeatButton);
    ASSERT_TRUE(pumpUntil([&] { return bridge->local().repeatOn; }));
    push->pressPad(0, 0, 100);
    push->pressPad(2, 5, 80);
    ASSERT_TRUE(script->waitForNotes(2));

    // The device is gone and can send no note-off of its own.
    push->unplug();
    settle();
    pump(300ms);
    script->clearReceived();
    pump(300ms);
    EXPECT_TRUE(script->notes().empty()) << "the repeat is still playing";

    // The pads were let go: pressing one again plays it afresh.
    push->plug();
    settle();
    script->clearReceived();
    push->pressPad(0, 0, 90);
    ASSERT_TRUE(script->waitForNotes(1));
    EXPECT_EQ(script->notes()[0], MIDIMessage::noteOn(0, *PadEngine::note(0, 0, bridge->local().pads), 90));
}

TEST_F(BridgeDevicesTest, APushPluggedInAfterTheStartIsLitAndAnnounced) {
    push->unplug();
    start();
    connectCubase();
    settle();
    push->plug();
    settle();
    EXPECT_TRUE(script->waitFor(BridgeMessage::pushStatus(true)));
    EXPECT_EQ(push->ledButton(Button::undo), 16);
    EXPECT_EQ(push->ledButton(Button::note), 127);
    EXPECT_NE(push->ledPad(3, 3), 0);
    EXPECT_TRUE(bridge->status().pushConnected);
}

// Kernels before 5.13 name the Push's ports "Ableton Push 3 MIDI 1" and "... MIDI 2".
TEST_F(BridgeDevicesTest, APushWithGenericPortNamesIsPlayedThroughItsFirstPort) {
    push->unplug();
    push->setPortNaming(SimulatedPush3::PortNaming::generic);
    push->plug();
    start();
    connectCubase();
    EXPECT_TRUE(bridge->status().pushConnected);
    EXPECT_TRUE(logged("INFO Push MIDI connected"));
    EXPECT_EQ(push->ledButton(Button::note), 127);

    script->send(MIDIMessage::controlChange(0, 85, 127));
    ASSERT_TRUE(push->waitUntil([&] { return push->ledCC(85) == 127; }));
    push->turnEncoder(0, 1);
    ASSERT_TRUE(script->waitForControls(1));
    EXPECT_EQ(script->controls().back(), MIDIMessage::controlChange(0, 71, 1));
    settle();
    EXPECT_TRUE(system->sentTo(push->userPort().destination).empty());

    push->unplug();
    settle();
    EXPECT_FALSE(bridge->status().pushConnected);
    push->plug();
    settle();
    EXPECT_TRUE(bridge->status().pushConnected);
    EXPECT_EQ(push->ledCC(85), 127);
    EXPECT_TRUE(system->sentTo(push->userPort().destination).empty());
}

TEST_F(BridgeDevicesTest, TheDisplayUnpluggedAndPluggedBackShowsThePictureAgain) {
    const USBDeviceID first = usb->plug();
    start();
    ASSERT_TRUE(pumpUntil([&] { return usb->frameCount() > 0; }));
    EXPECT_TRUE(usb->lastFrame()->headerIsValid());
    EXPECT_TRUE(bridge->status().displayAttached);
    EXPECT_TRUE(logged("INFO Push display attached (PID 0x1969)"));

    usb->unplug(first);
    settle();
    EXPECT_FALSE(bridge->status().displayAttached);
    EXPECT_TRUE(logged("INFO Push display detached"));
    EXPECT_EQ(bridge->statusModel().diagnostics[1], "display     waiting");

    usb->clearRecords();
    usb->plug();
    ASSERT_TRUE(pumpUntil([&] { return usb->frameCount() > 0; }));
    EXPECT_TRUE(bridge->status().displayAttached);
    EXPECT_EQ(bridge->statusModel().diagnostics[1], "display     attached");
    // Nothing new to draw, yet the display keeps being sent the picture.
    ASSERT_TRUE(pumpUntil([&] { return bridge->displayStats().keepAlivesSent > 0; }));
}

TEST_F(BridgeDevicesTest, AnOpenFailureIsAProblemUntilTheDisplayOpens) {
    start();
    usb->failOpens(USBDisplayError::openFailed("Resource busy"));
    usb->plug();
    ASSERT_TRUE(pumpUntil([&] { return bridge->status().problem.has_value(); }));
    EXPECT_EQ(*bridge->status().problem, "Push display: " + std::string(USBDisplayError::openFailed("Resource busy").what()));
    EXPECT_TRUE(logged("WARN display open failed: "));
    // The retry half a second later opens it and ends the problem.
    ASSERT_TRUE(pumpUntil([&] { return bridge->status().displayAttached; }, 3s));
    EXPECT_FALSE(bridge->status().problem.has_value());
    ASSERT_TRUE(pumpUntil([&] { return usb->frameCount() > 0; }));
}

TEST_F(BridgeDevicesTest, AFailedTransferClosesTheDisplayAndRetries) {
    usb->plug();
    start();
    ASSERT_TRUE(pumpUntil([&] { return usb->frameCount() > 0; }));
    usb->failTransfers("Pipe error");
    usb->clearRecords();
    ASSERT_TRUE(pumpUntil([&] { return bridge->displayStats().transferErrors == 1; }));
    ASSERT_TRUE(pumpUntil([&] { return logged("; retrying with backoff"); }));
    EXPECT_TRUE(logged("WARN display transfer failed: "));
    ASSERT_TRUE(pumpUntil([&] { return usb->frameCount() > 0; }, 3s));
    EXPECT_TRUE(bridge->status().displayAttached);
    EXPECT_EQ(usb->opens(), 2);
}

TEST_F(BridgeDevicesTest, AFailureOfTheUnpluggedDisplayLeavesTheOnePluggedInAfterItAlone) {
    const USBDeviceID first = usb->plug();
    start();
    ASSERT_TRUE(pumpUntil([&] { return usb->frameCount() > 0; }));

    // A frame to the first display is on the wire while it is swapped for another; it fails
    // only once both changes are on their way to the bridge, so its error comes after them.
    usb->holdTransfers();
    ASSERT_TRUE(usb->waitForHeldTransfer(2s));
    usb->unplug(first);
    const USBDeviceID second = usb->plug();
    usb->releaseTransfers();
    ASSERT_TRUE(pumpUntil([&] { return logged("display transfer failed"); }));
    settle();

    EXPECT_EQ(bridge->displayStats().transferErrors, 1);
    EXPECT_TRUE(bridge->status().displayAttached);
    EXPECT_FALSE(bridge->status().problem.has_value());
    EXPECT_FALSE(logged("WARN display transfer failed"));
    EXPECT_EQ(usb->opens(), 2);
    EXPECT_EQ(usb->closes(), 1) << "the second display was closed";

    // It goes on being sent the picture.
    usb->clearRecords();
    ASSERT_TRUE(pumpUntil([&] { return usb->frameCount() >= 2; }));
    for (const auto& frame : usb->frames()) EXPECT_EQ(frame.device, second);
    EXPECT_EQ(usb->opens(), 2);
    EXPECT_EQ(usb->closes(), 1);
}

}  // namespace
}  // namespace corvane
