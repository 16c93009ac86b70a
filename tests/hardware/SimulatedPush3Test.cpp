#include <gtest/gtest.h>

#include <mutex>
#include <optional>
#include <vector>

#include "core/MIDIStreamParser.h"
#include "core/PushInputDecoder.h"
#include "core/PushSysEx.h"
#include "core/Router.h"
#include "hardware/MIDIClient.h"
#include "hardware/MIDIDevicePort.h"
#include "platform/MainQueue.h"
#include "tests/support/SimulatedMIDISystem.h"
#include "tests/support/SimulatedPush3.h"

namespace corvane {
namespace {

using PushMIDIMap::Button;
using LED = SimulatedPush3::LED;

// The bridge's end of the Live Port: a device port that parses what the Push sends.
class SimulatedPush3Test : public ::testing::Test {
protected:
    std::shared_ptr<SimulatedMIDISystem> system = std::make_shared<SimulatedMIDISystem>();
    SimulatedPush3 push{system};
    std::shared_ptr<MIDIClient> client = std::make_shared<MIDIClient>("Corvane Bridge", system);
    std::shared_ptr<MIDIDevicePort> port;

    std::mutex lock;
    MIDIStreamParser parser;
    std::vector<MIDIMessage> heard;

    void SetUp() override {
        port = MIDIDevicePort::create(client, SimulatedPush3::portName, SimulatedPush3::portName,
                                      [this](std::span<const std::uint8_t> bytes) {
                                          std::lock_guard guard(lock);
                                          parser.feed(bytes, [&](const MIDIMessage& m) { heard.push_back(m); });
                                      });
        ASSERT_TRUE(port->isConnected());
    }

    std::vector<MIDIMessage> heardSoFar() {
        system->waitForDeliveries();
        std::lock_guard guard(lock);
        return heard;
    }

    void clearHeard() {
        std::lock_guard guard(lock);
        heard.clear();
    }

    void send(const Bytes& bytes) {
        port->send(bytes);
        system->waitForDeliveries();  // the Push's handling, and its answer
    }

    // The Push system-exclusive bodies heard, in order.
    std::vector<Bytes> replies() {
        std::vector<Bytes> bodies;
        for (const auto& message : heardSoFar()) {
            if (const auto* sysex = message.as<MIDIMessage::Sysex>()) {
                if (auto body = PushSysEx::body(sysex->bytes)) bodies.push_back(*body);
            }
        }
        return bodies;
    }

    std::vector<PushInput> decodedControls() {
        std::vector<PushInput> inputs;
        for (const auto& message : heardSoFar()) inputs.push_back(PushInputDecoder::decode(message));
        return inputs;
    }
};

TEST_F(SimulatedPush3Test, AnswersTheSettingsQueriesWithRepliesTheDecoderReads) {
    push.setLEDBrightness(90);
    push.setDisplayBrightness(200);
    push.setAftertouchMode(AftertouchMode::mpe);
    for (const auto& query : PushSysEx::settingsQueries()) send(query);
    send(PushSysEx::queryVelocityCurveEntry(5));

    std::vector<std::optional<PushSysEx::Reply>> decoded;
    for (const auto& body : replies()) decoded.push_back(PushSysEx::reply(body));
    EXPECT_EQ(decoded, (std::vector<std::optional<PushSysEx::Reply>>{
                           PushSysEx::Reply::ledBrightness(90), PushSysEx::Reply::displayBrightness(200),
                           PushSysEx::Reply::aftertouchMode(AftertouchMode::mpe),
                           PushSysEx::Reply::velocityCurveEntry(5, push.velocityCurve()[5])}));
}

TEST_F(SimulatedPush3Test, TakesTheSettingsCommandsItIsSent) {
    send(PushSysEx::ledBrightness(40));
    send(PushSysEx::displayBrightness(255));
    send(PushSysEx::aftertouchMode(AftertouchMode::channel));
    send(PushSysEx::preamp(1, Preamp::high));
    const int values[] = {10, 20, 30};
    send(PushSysEx::velocityCurveChunk(126, values));  // the third runs off the end of the curve

    EXPECT_EQ(push.ledBrightness(), 40);
    EXPECT_EQ(push.displayBrightness(), 255);
    EXPECT_EQ(push.aftertouchMode(), rawValue(AftertouchMode::channel));
    EXPECT_EQ(push.preamp(0), rawValue(Preamp::line));
    EXPECT_EQ(push.preamp(1), rawValue(Preamp::high));
    EXPECT_EQ(push.velocityCurve()[126], 10);
    EXPECT_EQ(push.velocityCurve()[127], 20);
    EXPECT_TRUE(replies().empty());  // commands are not answered
    EXPECT_EQ(push.commandsReceived().size(), 5u);
}

TEST_F(SimulatedPush3Test, PaletteEntriesAreReadWrittenAndShownOnReapply) {
    const auto factory = SimulatedPush3::factoryPaletteEntry(94);
    const PushSysEx::PaletteEntry written{.index = 94, .red = 255, .green = 128, .blue = 0, .white = 127};
    const Bytes query = PushSysEx::message(Bytes{PushSysEx::getPaletteEntry, 94});

    // The query ahead of the write in one stream is answered with the entry before it.
    send(query);
    send(PushSysEx::setPalette(written));
    send(query);
    EXPECT_EQ(push.paletteEntry(94), written);
    EXPECT_EQ(push.shownPaletteEntry(94), factory);
    send(PushSysEx::reapply());
    EXPECT_EQ(push.shownPaletteEntry(94), written);
    EXPECT_EQ(push.reapplyCount(), 1);

    std::vector<std::optional<PushSysEx::PaletteEntry>> decoded;
    for (const auto& body : replies()) decoded.push_back(PushSysEx::decodePaletteEntry(body));
    EXPECT_EQ(decoded, (std::vector<std::optional<PushSysEx::PaletteEntry>>{factory, written}));
}

TEST_F(SimulatedPush3Test, AnswersTheIdentityRequestAndOnlyItsOwn) {
    send({0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7});
    send({0xF0, 0x7E, 0x05, 0x06, 0x01, 0xF7});  // another device number
    send({0xF0, 0x7E, SimulatedPush3::deviceID, 0x06, 0x01, 0xF7});

    const auto heardMessages = heardSoFar();
    ASSERT_EQ(heardMessages.size(), 2u);
    const Bytes reply = heardMessages[0].as<MIDIMessage::Sysex>()->bytes;
    EXPECT_EQ(reply, SimulatedPush3::defaultIdentityReply());
    // The shape a diagnostics reader expects: an identity reply with Ableton's manufacturer ID.
    ASSERT_GE(reply.size(), 15u);
    EXPECT_EQ((Bytes{reply[1], reply[3], reply[4]}), (Bytes{0x7E, 0x06, 0x02}));
    EXPECT_EQ((Bytes{reply[5], reply[6], reply[7]}), (Bytes{0x00, 0x21, 0x1D}));
}

TEST_F(SimulatedPush3Test, SilentPushTakesCommandsButAnswersNothing) {
    push.setAnswersQueries(false);
    send({0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7});
    for (const auto& query : PushSysEx::settingsQueries()) send(query);
    send(PushSysEx::ledBrightness(3));
    EXPECT_TRUE(heardSoFar().empty());
    EXPECT_EQ(push.ledBrightness(), 3);
}

TEST_F(SimulatedPush3Test, LEDTableFollowsNotesAndControllersPerChannel) {
    send({0xB0, 85, 127});  // play, steady
    send({0xB3, 85, 9});    // play, an animation layer
    send({0x90, 36, 125});  // bottom-left pad
    send({0x91, 36, 0});    // a layer at 0 is not lit
    send({0x94, 20, 5});    // note 20 is another LED than CC 20
    send({0xB0, 20, 122});
    EXPECT_EQ(push.ledButton(Button::play), 127);
    EXPECT_EQ(push.ledCC(85, 3), 9);
    EXPECT_EQ(push.ledPad(0, 0), 125);
    EXPECT_EQ(push.led(LEDTarget::note(36)), 125);
    EXPECT_EQ(push.litLEDs(), (std::vector<LED>{{false, 20, 0, 122},
                                                {false, 85, 0, 127},
                                                {false, 85, 3, 9},
                                                {true, 20, 4, 5},
                                                {true, 36, 0, 125}}));

    // A steady value ends the animations; a note-off turns a note LED off.
    send({0xB0, 85, 0});
    send({0x80, 36, 64});
    EXPECT_EQ(push.ledCC(85, 3), 0);
    EXPECT_EQ(push.ledPad(0, 0), 0);
    EXPECT_EQ(push.litLEDs(), (std::vector<LED>{{false, 20, 0, 122}, {true, 20, 4, 5}}));
    EXPECT_EQ(push.receivedCount(), 8u);
}

TEST_F(SimulatedPush3Test, ControlsDecodeAsTheControlsNamed) {
    push.pressPad(0, 0, 100);
    push.releasePad(7, 7);
    push.padPressure(1, 6, 50);
    push.turnEncoder(0, 1);
    push.turnEncoder(7, -63);
    push.turnEncoder(3, -100);  // clamped
    push.touchEncoder(3);
    push.touchEncoder(3, false);
    push.turnVolumeEncoder(-1);
    push.touchTempoEncoder();
    push.turnJogWheel(2);
    push.pressButton(Button::play);
    push.releaseButton(Button::newButton);
    push.pressSceneButton(0);
    push.releaseSceneButton(7);
    push.pressUpperDisplayButton(2);
    push.pressLowerDisplayButton(7);
    push.touchStrip(8192);
    push.touchStripTouch();
    push.touchDpadCentre(false);
    push.channelPressure(30);

    EXPECT_EQ(decodedControls(),
              (std::vector<PushInput>{
                  PushInput::pad(0, 0, 100), PushInput::pad(7, 7, 0), PushInput::padPressure(1, 6, 50),
                  PushInput::trackEncoder(0, 1), PushInput::trackEncoder(7, -63), PushInput::trackEncoder(3, -64),
                  PushInput::trackEncoderTouch(3, true), PushInput::trackEncoderTouch(3, false),
                  PushInput::volumeEncoder(-1), PushInput::tempoEncoderTouch(true), PushInput::jogWheel(2),
                  PushInput::button(Button::play, true), PushInput::button(Button::newButton, false),
                  PushInput::sceneButton(0, true), PushInput::sceneButton(7, false),
                  PushInput::upperDisplayButton(2, true), PushInput::lowerDisplayButton(7, true),
                  PushInput::touchStrip(8192), PushInput::touchStripTouch(true), PushInput::dpadCentreTouch(false),
                  PushInput::channelPressure(30)}));
    EXPECT_EQ(push.sent().size(), 21u);

    clearHeard();
    push.pedal(true);
    const auto pedal = heardSoFar();
    ASSERT_EQ(pedal.size(), 1u);
    EXPECT_EQ(Router::route(pedal[0]), Route::performance);
}

TEST_F(SimulatedPush3Test, UnpluggingIsAPowerCycleAndPluggingAgainBindsAnew) {
    const std::int32_t firstID = push.uniqueID();
    send({0xB0, 85, 127});
    send(PushSysEx::setPalette({.index = 95, .red = 1, .green = 2, .blue = 3, .white = 4}));
    send(PushSysEx::reapply());
    send(PushSysEx::ledBrightness(7));

    push.unplug();
    ASSERT_TRUE(system->settle());
    EXPECT_FALSE(port->isConnected());
    EXPECT_FALSE(system->findSource(SimulatedPush3::portName));
    push.pressPad(0, 0);  // nothing to send it on
    EXPECT_TRUE(push.litLEDs().empty());
    EXPECT_EQ(push.shownPaletteEntry(95), SimulatedPush3::factoryPaletteEntry(95));
    EXPECT_EQ(push.ledBrightness(), 7);

    push.plug();
    ASSERT_TRUE(system->settle());
    EXPECT_TRUE(port->isConnected());
    EXPECT_NE(push.uniqueID(), firstID);
    EXPECT_EQ(port->source()->uniqueID, push.uniqueID());
    push.pressPad(0, 0);
    send({0xB0, 86, 127});
    EXPECT_EQ(heardSoFar().size(), 1u);
    EXPECT_EQ(push.ledButton(Button::record), 127);

    push.unplug();
    push.plug(firstID);
    ASSERT_TRUE(system->settle());
    EXPECT_EQ(push.uniqueID(), firstID);
    EXPECT_EQ(port->destination()->uniqueID, firstID + 1);
}

TEST_F(SimulatedPush3Test, WaitsPumpTheMainQueue) {
    bool ran = false;
    MainQueue::async([&] { ran = true; });
    port->send(Bytes{0xB0, 85, 127, 0xB0, 86, 127});
    EXPECT_TRUE(push.waitForMessages(2));
    EXPECT_TRUE(push.waitUntil([&] { return ran; }));
    EXPECT_FALSE(push.waitForMessages(3, std::chrono::milliseconds(20)));
}

}  // namespace
}  // namespace corvane
