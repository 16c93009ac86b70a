#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "core/BridgeCodec.h"
#include "core/MIDIStreamParser.h"
#include "core/StateKeys.h"
#include "hardware/MIDIClient.h"
#include "hardware/VirtualMIDIPort.h"
#include "platform/MainQueue.h"
#include "tests/support/SimulatedCubaseScript.h"
#include "tests/support/SimulatedMIDISystem.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

// The bridge's end: its two virtual ports, and what arrives at "Corvane" decoded.
struct BridgeEnd {
    std::shared_ptr<MIDIClient> client;
    std::mutex lock;
    MIDIStreamParser parser;
    std::vector<HostMessage> heard;
    std::vector<MIDIMessage> other;
    std::unique_ptr<VirtualMIDIPort> notes;
    std::unique_ptr<VirtualMIDIPort> control;

    explicit BridgeEnd(std::shared_ptr<SimulatedMIDISystem> system)
        : client(std::make_shared<MIDIClient>("Corvane Bridge", system)) {
        notes = std::make_unique<VirtualMIDIPort>(client, "Corvane Notes", 0x50464311);
        control = std::make_unique<VirtualMIDIPort>(client, "Corvane", 0x50464301,
                                                    [this](std::span<const std::uint8_t> bytes) {
                                                        std::lock_guard guard(lock);
                                                        parser.feed(bytes, [&](const MIDIMessage& m) {
                                                            const auto* sysex = m.as<MIDIMessage::Sysex>();
                                                            if (sysex == nullptr) {
                                                                other.push_back(m);
                                                            } else if (auto decoded = BridgeCodec::decodeHostMessage(
                                                                           sysex->bytes)) {
                                                                heard.push_back(*decoded);
                                                            }
                                                        });
                                                    });
    }

    void send(const BridgeMessage& message) { control->send(BridgeCodec::encode(message)); }

    std::vector<HostMessage> heardSoFar(SimulatedMIDISystem& system) {
        system.waitForDeliveries();
        std::lock_guard guard(lock);
        return heard;
    }
};

class SimulatedCubaseScriptTest : public ::testing::Test {
protected:
    std::shared_ptr<SimulatedMIDISystem> system = std::make_shared<SimulatedMIDISystem>();

    void settle() { ASSERT_TRUE(system->settle()); }
};

TEST_F(SimulatedCubaseScriptTest, FramesDecodeAsTheBridgeReadsThemAndTheStateIsKept) {
    BridgeEnd bridge(system);
    SimulatedCubaseScript script(system);
    EXPECT_TRUE(script.isConnected());

    const StateKey name = StateKeys::selectedTrack(StateKeys::ChannelField::name);
    const StateKey volume = StateKeys::bankChannel(2, StateKeys::ChannelField::volume);
    EXPECT_TRUE(script.hello("2.1"));
    script.setString(name, "Bass");
    script.setNumber(volume, 1000);
    script.setFlag(StateKeys::Transport::playing, true);
    script.setColor(StateKeys::selectedTrack(StateKeys::ChannelField::color), RGB{229, 57, 53});
    script.setString(name, "Drums");
    script.clearObject(StateKeys::Object::bankChannelBase + 2);
    script.log(2, "careful");
    script.heartbeat();
    script.goodbye();

    const std::vector<HostMessage> expected{
        HostMessage::hello("2.1"),
        HostMessage::setString(name, "Bass"),
        HostMessage::setNumber(volume, 1000),
        HostMessage::setNumber(StateKeys::Transport::playing, 1),
        HostMessage::setColor(StateKeys::selectedTrack(StateKeys::ChannelField::color), RGB{229, 57, 53}),
        HostMessage::setString(name, "Drums"),
        HostMessage::clearObject(StateKeys::Object::bankChannelBase + 2),
        HostMessage::log(2, "careful"),
        HostMessage::heartbeat(),
        HostMessage::goodbye(),
    };
    EXPECT_EQ(bridge.heardSoFar(*system), expected);
    EXPECT_EQ(script.sent(), expected);
    EXPECT_EQ(script.heartbeatsSent(), 1);
    // The last value of each key, cleared objects left out, in key order.
    EXPECT_EQ(script.state(), (std::vector<HostMessage>{
                                  HostMessage::setNumber(StateKeys::Transport::playing, 1),
                                  HostMessage::setString(name, "Drums"),
                                  HostMessage::setColor(StateKeys::selectedTrack(StateKeys::ChannelField::color),
                                                        RGB{229, 57, 53}),
                              }));
}

TEST_F(SimulatedCubaseScriptTest, AnswersResyncWithItsWholeStateAndRecordsWhatItHears) {
    BridgeEnd bridge(system);
    SimulatedCubaseScript script(system);
    script.setNumber(StateKeys::Master::volume, 5);
    script.setString(StateKeys::Session::hostName, "Cubase");
    const auto before = bridge.heardSoFar(*system).size();

    bridge.send(BridgeMessage::bridgeHello("0.4.3", true));
    bridge.send(BridgeMessage::requestResync());
    bridge.control->send(Bytes{0xB0, 71, 1, 0x90, 3, 127});              // forwarded controls
    bridge.control->send(Bytes{0xF0, 0x7D, 0x50, 0x43, 0x02, 0x41, 0xF7});  // a frame of another version
    bridge.notes->send(Bytes{0x90, 60, 100, 0x91, 60, 90, 0x90, 62, 80, 0x80, 62, 0, 0x91, 64, 1, 0x91, 64, 0});
    system->waitForDeliveries();  // the resync too: it is answered on the delivery thread

    EXPECT_EQ(script.messages(), (std::vector<BridgeMessage>{BridgeMessage::bridgeHello("0.4.3", true),
                                                             BridgeMessage::requestResync()}));
    EXPECT_EQ(script.controls(),
              (std::vector<MIDIMessage>{MIDIMessage::controlChange(0, 71, 1), MIDIMessage::noteOn(0, 3, 127)}));
    EXPECT_EQ(script.refusedFrames().size(), 1u);
    EXPECT_EQ(script.notes().size(), 6u);
    EXPECT_EQ(script.heldNotes(), (std::vector<std::pair<std::uint8_t, std::uint8_t>>{{0, 60}, {1, 60}}));
    EXPECT_EQ(script.resyncsAnswered(), 1);
    const auto heard = bridge.heardSoFar(*system);
    EXPECT_EQ(std::vector<HostMessage>(heard.begin() + static_cast<std::ptrdiff_t>(before), heard.end()),
              script.state());

    script.setAnswersResync(false);
    script.clearReceived();
    bridge.send(BridgeMessage::requestResync());
    EXPECT_TRUE(script.waitForMessages(1));
    EXPECT_EQ(script.resyncsAnswered(), 1);
    EXPECT_TRUE(script.controls().empty());
}

TEST_F(SimulatedCubaseScriptTest, FindsPortsMadeLaterAndFollowsANewBridge) {
    SimulatedCubaseScript script(system);
    EXPECT_FALSE(script.isConnected());
    EXPECT_FALSE(script.heartbeat());  // lost: nobody there yet

    auto bridge = std::make_unique<BridgeEnd>(system);
    bridge->send(BridgeMessage::bridgeHello("0.4.3", false));  // before the script has subscribed
    settle();
    EXPECT_TRUE(script.isConnected());
    EXPECT_TRUE(script.messages().empty());
    EXPECT_EQ(script.sentByBridge(), (std::vector<BridgeMessage>{BridgeMessage::bridgeHello("0.4.3", false)}));
    bridge->send(BridgeMessage::pushStatus(true));
    EXPECT_TRUE(script.waitFor(BridgeMessage::pushStatus(true)));

    bridge.reset();
    settle();
    EXPECT_FALSE(script.isConnected());
    bridge = std::make_unique<BridgeEnd>(system);
    settle();
    EXPECT_TRUE(script.hello());
    bridge->notes->send(Bytes{0x80, 60, 0});
    EXPECT_TRUE(script.waitForNotes(1));
    EXPECT_EQ(bridge->heardSoFar(*system), (std::vector<HostMessage>{HostMessage::hello("1.0.0")}));
}

TEST_F(SimulatedCubaseScriptTest, HeartbeatTimerBeatsWhileTheMainQueueRuns) {
    BridgeEnd bridge(system);
    SimulatedCubaseScript script(system);
    script.startHeartbeat(10ms);
    EXPECT_TRUE(script.waitUntil([&] { return script.heartbeatsSent() >= 3; }));
    script.stopHeartbeat();
    const int beats = script.heartbeatsSent();
    MainQueue::pumpFor(50ms);
    EXPECT_EQ(script.heartbeatsSent(), beats);
    EXPECT_EQ(bridge.heardSoFar(*system).size(), static_cast<std::size_t>(beats));
}

}  // namespace
}  // namespace corvane
