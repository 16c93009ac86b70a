// The Push's MIDI port as a real kernel's USB audio driver names it: a USB MIDI gadget on the
// dummy controllers without jack names, so Debian's kernel calls its ports by the card name and
// the port's number, and the device port, and the bridge through it, bind the first of them.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "bridge/Bridge.h"
#include "core/BridgeCodec.h"
#include "core/LEDPlan.h"
#include "core/MIDIStreamParser.h"
#include "core/PadColors.h"
#include "core/PadEngine.h"
#include "core/PushInputDecoder.h"
#include "core/PushPreferencesStore.h"
#include "core/PushSysEx.h"
#include "core/RemoteState.h"
#include "hardware/MIDIClient.h"
#include "hardware/MIDIDevicePort.h"
#include "hardware/PushPortNames.h"
#include "platform/MainQueue.h"
#include "platform/UserDefaults.h"
#include "tests/support/ReadFile.h"
#include "tests/support/SimulatedUSBDisplay.h"
#include "tests/vm/MIDIGadget.h"
#include "tests/vm/RealKernel.h"
#include "tests/vm/ReceivedRuns.h"
#include "tests/vm/SequencerPeer.h"
#include "tests/support/TemporaryFolder.h"

namespace corvane::vm {
namespace {

using namespace std::chrono_literals;

// Enumeration and the audio driver's probe under emulation take a while.
constexpr auto plugTime = 30s;

std::vector<std::string> portsOfClient(const std::string& clientName) {
    std::vector<std::string> names;
    for (const auto& port : sequencerPorts()) {
        if (port.clientName == clientName) names.push_back(port.name);
    }
    return names;
}

class RealUSBMIDI : public ::testing::Test {
protected:
    void SetUp() override {
        CORVANE_REQUIRE(sequencerMissing());
        CORVANE_REQUIRE(midiGadgetMissing());
        client = std::make_shared<MIDIClient>("Corvane VM Test");
        gadget = std::make_unique<MIDIGadget>();
    }

    // Both ways through the bound port: the device's answer and the host's message each arrive
    // whole.
    void exchange(MIDIDevicePort& port, Runs& runs, std::uint8_t seed) {
        const Bytes toDevice = {0xB0, 85,   seed, 0x90, 36,   100,  0xF0,
                                0x00, 0x21, 0x1D, 0x01, 0x01, 0x1F, 0xF7};
        port.send(toDevice);
        EXPECT_EQ(gadget->receive(toDevice.size()), toDevice);

        const std::size_t before = runs.total();
        const Bytes toHost = {0x90, 36,   seed, 0x80, 36,   0,    0xF0, 0x00,
                              0x21, 0x1D, 0x01, 0x01, 0x1F, 0x01, 0xF7};
        gadget->send(toHost);
        const auto received = joined(runs.waitForBytes(before + toHost.size(), 10s));
        ASSERT_GE(received.size(), before);
        EXPECT_EQ(Bytes(received.begin() + static_cast<std::ptrdiff_t>(before), received.end()), toHost);
    }

    std::shared_ptr<MIDIClient> client;
    std::unique_ptr<MIDIGadget> gadget;
};

TEST_F(RealUSBMIDI, ThePushWithoutJackNamesIsBoundByItsFirstPortAndFollowsItsPlug) {
    Runs runs;
    auto port = MIDIDevicePort::create(client, PushPortNames::inOrder(), runs.callback());
    ASSERT_TRUE(MainQueue::pumpUntil([&] { return port->isConnected(); }, plugTime));
    // The kernel adds a card's ports one by one, and the first pair is enough to bind.
    const std::vector<std::string> bothPorts{"Ableton Push 3 MIDI 1", "Ableton Push 3 MIDI 2"};
    MainQueue::pumpUntil([&] { return portsOfClient("Ableton Push 3") == bothPorts; }, plugTime);
    EXPECT_EQ(portsOfClient("Ableton Push 3"), bothPorts);
    EXPECT_EQ(port->source()->displayName, "Ableton Push 3 MIDI 1");
    EXPECT_EQ(port->destination()->displayName, "Ableton Push 3 MIDI 1");
    const auto before = *port->source();
    exchange(*port, runs, 1);

    std::vector<bool> changes;
    port->setOnConnectionChange([&](bool connected) { changes.push_back(connected); });
    gadget->unbind();
    ASSERT_TRUE(MainQueue::pumpUntil([&] { return !port->isConnected(); }, plugTime));
    EXPECT_EQ(changes, std::vector<bool>{false});
    // Losing one port disconnects; the rest of the card goes a moment later.
    EXPECT_TRUE(MainQueue::pumpUntil([&] { return portsOfClient("Ableton Push 3").empty(); }, plugTime));

    gadget->bind();
    ASSERT_TRUE(MainQueue::pumpUntil([&] { return port->isConnected(); }, plugTime));
    EXPECT_EQ(changes, (std::vector<bool>{false, true}));
    EXPECT_EQ(port->source()->displayName, "Ableton Push 3 MIDI 1");
    EXPECT_NE(port->source()->uniqueID, before.uniqueID);
    exchange(*port, runs, 2);
}

// What a Push makes of the bytes it is sent: the value of each LED on channel 1, and the
// system-exclusive commands in the order they came.
class PushView {
public:
    void feed(std::span<const std::uint8_t> bytes) {
        parser_.feed(bytes, [&](const MIDIMessage& message) {
            if (const auto* on = message.as<MIDIMessage::NoteOn>(); on && on->channel == 0) {
                leds_[LEDTarget::note(on->note)] = on->velocity;
            } else if (const auto* cc = message.as<MIDIMessage::ControlChange>(); cc && cc->channel == 0) {
                leds_[LEDTarget::cc(cc->controller)] = cc->value;
            } else if (const auto* sysex = message.as<MIDIMessage::Sysex>()) {
                commands_.push_back(sysex->bytes);
            }
        });
    }

    std::uint8_t led(const LEDTarget& target) const {
        const auto found = leds_.find(target);
        return found == leds_.end() ? 0 : found->second;
    }
    const std::vector<Bytes>& commands() const { return commands_; }

private:
    MIDIStreamParser parser_;
    std::map<LEDTarget, std::uint8_t> leds_;
    std::vector<Bytes> commands_;
};

// The bridge itself on the real kernel's ALSA sequencer with the gadget as its Push; a client of
// the test's own plays Cubase on the bridge's virtual ports. No display is plugged in.
class RealUSBMIDIBridge : public RealUSBMIDI {
protected:
    void SetUp() override {
        RealUSBMIDI::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        root = newTemporaryFolder("corvane-vm-bridge");
        ASSERT_FALSE(root.empty());
        log = std::make_unique<Log>(root / "logs", 1'000'000, 3);
        log->setEchoToStderr(false);
        settings = std::make_shared<UserDefaults>(root / "config", nullptr, std::chrono::milliseconds(0));
    }

    void TearDown() override {
        bridge.reset();
        notes.reset();
        control.reset();
        log.reset();
        if (!root.empty()) std::filesystem::remove_all(root);
    }

    void start() {
        BridgeEnvironment environment{
            MIDIBackend::system(), std::make_shared<SimulatedUSBDisplay>(), settings, log.get(), {}};
        bridge = Bridge::create(BridgeOptions{}, std::move(environment));
        bridge->setOnStatusChange(
            [this, last = bridge->status().pushConnected](const BridgeStatus& status) mutable {
                if (status.pushConnected != last) pushStates.push_back(last = status.pushConnected);
            });
        const auto listen = [](const std::string& portName, const char* as) {
            const auto port = findSequencerPort(portName);
            if (!port) throw std::runtime_error("the bridge has no port \"" + portName + "\"");
            auto peer = std::make_unique<SequencerPeer>("Cubase", as);
            peer->connectFrom(port->address);
            return peer;
        };
        notes = listen("Corvane Notes", "Tessaly Notes In");
        control = listen("Corvane", "Tessaly Control In");
    }

    // What the gadget gets from the bridge, with the main queue running, until `done` holds.
    PushView receiveUntil(const std::function<bool(const PushView&)>& done) {
        PushView view;
        MainQueue::pumpUntil(
            [&] {
                view.feed(gadget->receive(1, std::chrono::milliseconds(10)));
                return done(view);
            },
            std::chrono::seconds(10));
        return view;
    }

    // The Push is lit as the bridge plans it with no Cubase, each pad in its colour, and has the
    // saved settings, then the questions for the rest.
    void expectSetUp(const PushView& view) {
        std::string wrong;
        const auto expectLED = [&](const LEDTarget& target, std::uint8_t value) {
            if (view.led(target) != value)
                wrong += " " + describe(target.message(view.led(target))) + " for " + std::to_string(value);
        };
        for (const auto& [target, value] : LEDPlan::plan(RemoteState{}, bridge->local(), false)) {
            expectLED(target, value);
        }
        for (int row = 0; row < 8; ++row) {
            for (int column = 0; column < 8; ++column) {
                expectLED(LEDTarget::note(PushInputDecoder::padNote(row, column)),
                          PadEngine::color(row, column, bridge->local().pads, PadColors::standard));
            }
        }
        EXPECT_EQ(wrong, "") << "LEDs the Push shows otherwise than planned";
        std::vector<Bytes> expected = {PushSysEx::aftertouchMode(AftertouchMode::poly),
                                       PushSysEx::ledBrightness(64)};
        for (const Bytes& query : PushSysEx::settingsQueries()) expected.push_back(query);
        EXPECT_EQ(view.commands(), expected);
    }

    static bool askedEverything(const PushView& view) {
        const Bytes last = PushSysEx::settingsQueries().back();
        return !view.commands().empty() && view.commands().back() == last;
    }

    // A pad pressed on the device plays on "Corvane Notes"; a track encoder turned goes to the
    // script on "Corvane" as it came.
    void playAndTurn(std::uint8_t velocity) {
        notes->clearReceived();
        control->clearReceived();
        const std::uint8_t pad = PushInputDecoder::padNote(0, 0);
        gadget->send(Bytes{0x90, pad, velocity, 0xB0, 71, 1});
        const std::uint8_t note = *PadEngine::note(0, 0, bridge->local().pads);
        EXPECT_EQ(notes->waitForReceived(3), (Bytes{0x90, note, velocity}));
        EXPECT_EQ(control->waitForReceived(3), (Bytes{0xB0, 71, 1}));
    }

    bool logged(const std::string& text) {
        log->flush();
        return readFile(root / "logs" / "bridge.log").find(text) != std::string::npos;
    }

    std::filesystem::path root;
    std::unique_ptr<Log> log;
    std::shared_ptr<UserDefaults> settings;
    std::shared_ptr<Bridge> bridge;
    std::unique_ptr<SequencerPeer> notes;
    std::unique_ptr<SequencerPeer> control;
    // Each change of the Push's connection in the status the bridge publishes.
    std::vector<bool> pushStates;
};

TEST_F(RealUSBMIDIBridge, TheBridgePlaysThePushThroughTheKernelAndFollowsItsPlug) {
    settings->set(PushPreferencesStore::aftertouchKey, std::int64_t{1});
    settings->set(PushPreferencesStore::ledBrightnessKey, std::int64_t{64});
    ASSERT_TRUE(MainQueue::pumpUntil([] { return findSequencerPort("Ableton Push 3 MIDI 1").has_value(); },
                                     plugTime));
    start();
    ASSERT_TRUE(bridge->status().pushConnected);
    expectSetUp(receiveUntil(askedEverything));
    playAndTurn(100);
    // The device's answer to the last question reaches the setup page.
    gadget->send(PushSysEx::message(Bytes{PushSysEx::getAftertouchMode, 2}));
    EXPECT_TRUE(MainQueue::pumpUntil([&] { return bridge->local().setup.aftertouch == AftertouchMode::mpe; },
                                     std::chrono::seconds(5)));
    EXPECT_EQ(bridge->counters().midiFromPush, 1);

    // Unplugged with a pad down: the script hears of it and the note ends.
    notes->clearReceived();
    control->clearReceived();
    gadget->unbind();
    ASSERT_TRUE(MainQueue::pumpUntil([&] { return !pushStates.empty(); }, plugTime));
    EXPECT_EQ(pushStates, std::vector<bool>{false});
    EXPECT_FALSE(bridge->status().pushConnected);
    EXPECT_TRUE(logged("INFO Push MIDI disconnected"));
    const Bytes goodbye = BridgeCodec::encode(BridgeMessage::pushStatus(false));
    EXPECT_EQ(control->waitForReceived(goodbye.size()), goodbye);
    const std::uint8_t note = *PadEngine::note(0, 0, bridge->local().pads);
    EXPECT_EQ(notes->waitForReceived(3), (Bytes{0x80, note, 0}));

    // Plugged in again: lit and set up afresh, announced, and played again.
    control->clearReceived();
    gadget->bind();
    ASSERT_TRUE(MainQueue::pumpUntil([&] { return pushStates.size() == 2; }, plugTime));
    EXPECT_EQ(pushStates, (std::vector<bool>{false, true}));
    expectSetUp(receiveUntil(askedEverything));
    const Bytes hello = BridgeCodec::encode(BridgeMessage::pushStatus(true));
    EXPECT_EQ(control->waitForReceived(hello.size()), hello);
    playAndTurn(90);
}

}  // namespace
}  // namespace corvane::vm
