#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>

#include "core/BridgeCodec.h"
#include "core/MIDIStreamParser.h"
#include "core/StateKeys.h"
#include "corvane_diag/FakeCubaseCommand.h"
#include "hardware/MIDIClient.h"
#include "hardware/VirtualMIDIPort.h"
#include "tests/diag/DiagHarness.h"

namespace corvane {
namespace {

using Lines = std::vector<std::string>;

// The bridge's side of "Corvane": its virtual port, and everything the script side sent it.
class FakeBridge {
public:
    explicit FakeBridge(std::shared_ptr<SimulatedMIDISystem> system)
        : client_(std::make_shared<MIDIClient>("Corvane Bridge", std::move(system))) {
        open();
    }

    void open() {
        port_ = std::make_unique<VirtualMIDIPort>(
            client_, "Corvane", 0x50464301, [state = state_](std::span<const std::uint8_t> bytes) {
                std::lock_guard guard(state->lock);
                state->parser.feed(bytes,
                                   [&](const MIDIMessage& message) { state->received.push_back(message); });
            });
    }
    void close() { port_.reset(); }

    void send(const Bytes& bytes) { port_->send(bytes); }
    void send(const BridgeMessage& message) { send(BridgeCodec::encode(message)); }

    std::vector<MIDIMessage> received() const {
        std::lock_guard guard(state_->lock);
        return state_->received;
    }
    // The protocol messages received, heartbeats left out.
    std::vector<HostMessage> hostMessages() const {
        std::vector<HostMessage> messages;
        for (const MIDIMessage& message : received()) {
            const auto* sysex = message.as<MIDIMessage::Sysex>();
            if (!sysex) continue;
            auto decoded = BridgeCodec::decodeHostMessage(sysex->bytes);
            if (decoded && !decoded->is<HostMessage::Heartbeat>()) messages.push_back(*decoded);
        }
        return messages;
    }
    int heartbeats() const {
        int count = 0;
        for (const MIDIMessage& message : received()) {
            const auto* sysex = message.as<MIDIMessage::Sysex>();
            if (!sysex) continue;
            auto decoded = BridgeCodec::decodeHostMessage(sysex->bytes);
            if (decoded && decoded->is<HostMessage::Heartbeat>()) ++count;
        }
        return count;
    }

private:
    struct State {
        std::mutex lock;
        MIDIStreamParser parser;
        std::vector<MIDIMessage> received;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
    std::shared_ptr<MIDIClient> client_;
    std::unique_ptr<VirtualMIDIPort> port_;
};

std::vector<HostMessage> startSequence(const std::string& track, RGB color, bool playing, std::int64_t volume,
                                       const std::string& volumeText) {
    using namespace StateKeys;
    return {HostMessage::hello("fake-0.1"),
            HostMessage::setString(Session::hostName, "Fake Cubase"),
            HostMessage::setString(Session::hostVersion, "(corvane-diag)"),
            HostMessage::setNumber(Transport::playing, playing ? 1 : 0),
            HostMessage::setString(selectedTrack(ChannelField::name), track),
            HostMessage::setColor(selectedTrack(ChannelField::color), color),
            HostMessage::setNumber(selectedTrack(ChannelField::volume), volume),
            HostMessage::setString(selectedTrack(ChannelField::volumeText), volumeText)};
}

class FakeCubaseCommandTest : public ::testing::Test {
protected:
    DiagHarness diag;
};

TEST_F(FakeCubaseCommandTest, WithoutTheBridgeItSaysSoAndSendsNothing) {
    EXPECT_EQ(diag.run({"fake-cubase"}), 1);
    EXPECT_EQ(diag.lines, (Lines{"corvane-bridge is not running (no \"Corvane\" port)"}));
    EXPECT_TRUE(diag.midi->sent().empty());
}

TEST_F(FakeCubaseCommandTest, PlaysTheHostAgainstTheBridge) {
    FakeBridge bridge(diag.midi);
    diag.when("fake Cubase connected", [&] {
        for (Bytes bytes : {Bytes{0xB0, 63, 127}, Bytes{0xB0, 62, 127}, Bytes{0xB0, 62, 127},
                            Bytes{0xB0, 63, 0}, Bytes{0xB0, 85, 127}, Bytes{0xB0, 71, 64}}) {
            bridge.send(bytes);
        }
        bridge.send(BridgeMessage::pushStatus(true));
        bridge.send(BridgeMessage::bridgeHello("0.4.3", false));
        bridge.send(BridgeMessage::requestResync());
        bridge.send({0xF0, 0x7D, 0x50, 0x43, 0xF7});
        bridge.send({0x90, 36, 100});
    });
    diag.when("pad row 1 col 1", [&] { diag.interrupt(); });
    EXPECT_EQ(diag.run({"fake-cubase"}), 0);
    EXPECT_EQ(
        diag.lines,
        (Lines{"fake Cubase connected: encoder 1 = volume, Play toggles, Page ◀ ▶ changes track. Ctrl-C to "
               "stop.",
               "selected Bass", "selected Guitar", "selected Synth Pad", "push → cubase: button pageRight up",
               "▶ play", "bridge → cubase: pushStatus(connected: true)",
               "bridge → cubase: bridgeHello(bridgeVersion: \"0.4.3\", pushConnected: false)",
               "bridge → cubase: requestResync", "bridge → cubase: F0 7D 50 43 F7",
               "push → cubase: pad row 1 col 1 on vel 100"}));

    diag.midi->settle();
    const std::vector<HostMessage> messages = bridge.hostMessages();
    const auto first = startSequence("Guitar", {229, 57, 53}, false, 11795, "0.0 dB");
    ASSERT_GE(messages.size(), first.size());
    EXPECT_EQ(std::vector<HostMessage>(messages.begin(), messages.begin() + 8), first);
    // The resync announces the state as it now is: the last track, playing, the lowered volume.
    const auto resync = startSequence("Synth Pad", {142, 36, 170}, true, 6553, "-15.3 dB");
    ASSERT_GE(messages.size(), resync.size() + 1);
    EXPECT_EQ(std::vector<HostMessage>(messages.end() - 9, messages.end() - 1), resync);
    EXPECT_EQ(messages.back(), HostMessage::goodbye());

    // Play's LED follows the transport, and goes off on the way out.
    std::vector<MIDIMessage> playLED;
    for (const MIDIMessage& message : bridge.received()) {
        if (message.is<MIDIMessage::ControlChange>()) playLED.push_back(message);
    }
    EXPECT_EQ(playLED, (std::vector<MIDIMessage>{MIDIMessage::controlChange(0, 85, 126),
                                                 MIDIMessage::controlChange(0, 85, 0)}));
}

TEST_F(FakeCubaseCommandTest, FollowsTheBridgeAwayAndBackAndKeepsTheHeartbeat) {
    FakeBridge bridge(diag.midi);
    diag.when("fake Cubase connected", [&] { bridge.close(); });
    diag.when("bridge went away", [&] { bridge.open(); });
    diag.after(0.3, [&] { diag.interrupt(); });
    EXPECT_EQ(diag.run({"fake-cubase"}, 0.02), 0);
    EXPECT_EQ(diag.lines.size(), 3u);
    EXPECT_EQ(diag.lines[1], "bridge went away");
    EXPECT_EQ(diag.lines[2], "connected to bridge");
    diag.midi->settle();
    const auto messages = bridge.hostMessages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.front(), HostMessage::hello("fake-0.1"));
    EXPECT_GE(bridge.heartbeats(), 2);
}

TEST_F(FakeCubaseCommandTest, CtrlCAsSoonAsTheBannerInvitesItStillSaysGoodbye) {
    FakeBridge bridge(diag.midi);
    diag.interruptAsPrinted("Ctrl-C to stop.");
    EXPECT_EQ(diag.run({"fake-cubase"}), 0);
    diag.midi->settle();
    const std::vector<HostMessage> messages = bridge.hostMessages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), HostMessage::goodbye());
    const std::vector<MIDIMessage> received = bridge.received();
    const MIDIMessage playOff = MIDIMessage::controlChange(0, 85, 0);
    EXPECT_NE(std::find(received.begin(), received.end(), playOff), received.end());
}

TEST(FakeCubaseVolumeTest, DecibelsAroundUnity) {
    EXPECT_EQ(fakeCubaseVolumeText(0.72), "0.0 dB");
    EXPECT_EQ(fakeCubaseVolumeText(1.0), "8.6 dB");
    EXPECT_EQ(fakeCubaseVolumeText(0.001), "-∞ dB");
    EXPECT_EQ(fakeCubaseVolumeText(0.0), "-∞ dB");
}

}  // namespace
}  // namespace corvane
