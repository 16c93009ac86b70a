// The MIDI ports over a real kernel's ALSA sequencer, with a second client of the same sequencer
// playing the Push 3 (or, for the virtual ports, the application that reads them).

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>

#include "hardware/MIDIClient.h"
#include "hardware/MIDIDevicePort.h"
#include "hardware/MIDIEndpoints.h"
#include "hardware/VirtualMIDIPort.h"
#include "platform/MainQueue.h"
#include "tests/vm/RealKernel.h"
#include "tests/vm/ReceivedRuns.h"
#include "tests/vm/SequencerPeer.h"

namespace corvane::vm {
namespace {

using namespace std::chrono_literals;

Bytes sysex(std::size_t size, unsigned seed) {
    Bytes bytes(size);
    bytes.front() = 0xF0;
    for (std::size_t i = 1; i + 1 < size; ++i) bytes[i] = static_cast<std::uint8_t>((i * 5 + seed) % 128);
    bytes.back() = 0xF7;
    return bytes;
}

constexpr unsigned readable = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
constexpr unsigned writable = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;

class RealALSA : public ::testing::Test {
protected:
    void SetUp() override {
        CORVANE_REQUIRE(sequencerMissing());
        client = std::make_shared<MIDIClient>("Corvane VM Test");
    }

    // The Push port as the bridge opens it: source and destination both by the one name.
    std::shared_ptr<MIDIDevicePort> openPush(Runs& runs) {
        return MIDIDevicePort::create(client, push3PortName, push3PortName, runs.callback());
    }

    std::shared_ptr<MIDIClient> client;
};

TEST_F(RealALSA, TheDevicePortBindsThePush3PortByItsExactName) {
    SequencerPeer decoy("Not A Push", "ABLETON PUSH 3 LIVE PORT");
    SequencerPeer push;
    Runs runs;
    auto port = openPush(runs);

    ASSERT_TRUE(port->isConnected());
    const auto source = port->source();
    const auto destination = port->destination();
    EXPECT_EQ(source->displayName, push3PortName);
    EXPECT_EQ(destination->displayName, push3PortName);
    EXPECT_EQ(source->ref, destination->ref) << "one sequencer port is both";
    EXPECT_NE(source->uniqueID, 0);
    EXPECT_FALSE(source->offline);
}

TEST_F(RealALSA, ChannelMessagesArriveAsOneRunEachAndInOrder) {
    SequencerPeer push;
    Runs runs;
    auto port = openPush(runs);
    ASSERT_TRUE(port->isConnected());

    const std::vector<Bytes> messages = {
        {0x90, 36, 100}, {0x90, 36, 0},      {0xA0, 36, 55}, {0xB0, 71, 1},
        {0xB0, 71, 127}, {0xE3, 0x00, 0x40}, {0xC5, 7},      {0xD9, 100},
    };
    Bytes sent;
    for (const auto& message : messages) sent.insert(sent.end(), message.begin(), message.end());
    push.send(sent);

    // Running status is never used and a note-on of velocity 0 stays a note-on.
    EXPECT_EQ(runs.waitForBytes(sent.size()), messages);
}

TEST_F(RealALSA, ALongSystemExclusiveSplitAcrossEventsArrivesWhole) {
    SequencerPeer push;
    Runs runs;
    auto port = openPush(runs);
    ASSERT_TRUE(port->isConnected());

    Bytes sent = sysex(3000, 1);
    const Bytes after = {0xB0, 85, 127};
    sent.insert(sent.end(), after.begin(), after.end());
    push.send(sent, 256);

    const auto received = runs.waitForBytes(sent.size());
    EXPECT_EQ(joined(received), sent);
    EXPECT_GE(received.size(), 3000u / 256) << "each event of the split message is its own run";
    EXPECT_EQ(received.back(), after);
}

TEST_F(RealALSA, SentBytesReachThePush3Port) {
    SequencerPeer push;
    Runs runs;
    auto port = openPush(runs);
    ASSERT_TRUE(port->isConnected());

    Bytes sent = {0x90, 60, 127, 0xB0, 20, 1};
    const auto longMessage = sysex(5000, 2);
    sent.insert(sent.end(), longMessage.begin(), longMessage.end());
    sent.insert(sent.end(), {0x80, 60, 0});
    port->send(sent);
    EXPECT_EQ(push.waitForReceived(sent.size()), sent);

    port->send(Bytes{});
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(push.received().size(), sent.size()) << "an empty send sends nothing";
}

TEST_F(RealALSA, ThePortGoingAndComingBackIsUnboundThenBoundAgainWithAFreshID) {
    SequencerPeer push;
    Runs runs;
    auto port = openPush(runs);
    ASSERT_TRUE(port->isConnected());
    std::vector<bool> changes;
    port->setOnConnectionChange([&](bool connected) { changes.push_back(connected); });
    const auto before = *port->source();

    push.removePort();
    ASSERT_TRUE(MainQueue::pumpUntil([&] { return !port->isConnected(); }, 5s));
    EXPECT_EQ(changes, std::vector<bool>{false});

    push.addPort();
    ASSERT_TRUE(MainQueue::pumpUntil([&] { return port->isConnected(); }, 5s));
    EXPECT_EQ(changes, (std::vector<bool>{false, true}));
    const auto after = *port->source();
    EXPECT_EQ(after.ref, before.ref) << "ALSA gives the new port the old address";
    EXPECT_NE(after.uniqueID, before.uniqueID) << "yet it is not the endpoint that was bound";

    // Its subscription went with the old port; the binding made a new one.
    const Bytes fromPush = {0x90, 48, 90};
    push.send(fromPush);
    EXPECT_EQ(joined(runs.waitForBytes(fromPush.size())), fromPush);
    const Bytes toPush = {0xB0, 3, 4};
    port->send(toPush);
    EXPECT_EQ(push.waitForReceived(toPush.size()), toPush);
}

// Both changes reach the port in one refresh: the port at the same address must still be
// taken as the new endpoint it is, and connected.
TEST_F(RealALSA, APortReplacedBetweenTwoRefreshesIsConnectedAgain) {
    SequencerPeer push;
    Runs runs;
    auto port = openPush(runs);
    ASSERT_TRUE(port->isConnected());
    const auto before = *port->source();

    push.removePort();
    push.addPort();
    ASSERT_TRUE(MainQueue::pumpUntil([&] { return port->source()->uniqueID != before.uniqueID; }, 5s));
    EXPECT_EQ(port->source()->ref, before.ref);
    EXPECT_TRUE(port->isConnected());

    const Bytes fromPush = {0x90, 52, 64};
    push.send(fromPush);
    EXPECT_EQ(joined(runs.waitForBytes(fromPush.size())), fromPush);
}

TEST_F(RealALSA, ThePush3ClientLeavingUnbindsAndANewOneIsBound) {
    auto push = std::make_unique<SequencerPeer>();
    Runs runs;
    auto port = openPush(runs);
    ASSERT_TRUE(port->isConnected());
    int setupChanges = 0;
    client->onSetupChanged([&] { ++setupChanges; });

    push.reset();
    ASSERT_TRUE(MainQueue::pumpUntil([&] { return !port->isConnected(); }, 5s));
    EXPECT_GE(setupChanges, 1);
    EXPECT_FALSE(port->source().has_value());
    EXPECT_FALSE(port->destination().has_value());

    push = std::make_unique<SequencerPeer>();
    ASSERT_TRUE(MainQueue::pumpUntil([&] { return port->isConnected(); }, 5s));
    const Bytes fromPush = {0x90, 50, 1};
    push->send(fromPush);
    EXPECT_EQ(joined(runs.waitForBytes(fromPush.size())), fromPush);
}

TEST_F(RealALSA, VirtualPortsAsAnotherApplicationSeesThem) {
    const std::string clientName = "Corvane VM Test";
    Runs toControl;
    auto control = std::make_unique<VirtualMIDIPort>(client, "Corvane", 0x436F7200, toControl.callback());
    auto notes = std::make_unique<VirtualMIDIPort>(client, "Corvane Notes", 0x436F7210);

    const auto controlPorts = portsNamed(clientName, "Corvane");
    ASSERT_EQ(controlPorts.size(), 2u) << "a source and a destination of the same name";
    const auto controlSource = std::find_if(controlPorts.begin(), controlPorts.end(), [](const auto& port) {
        return (port.capability & readable) == readable;
    });
    const auto controlDestination =
        std::find_if(controlPorts.begin(), controlPorts.end(),
                     [](const auto& port) { return (port.capability & writable) == writable; });
    ASSERT_NE(controlSource, controlPorts.end());
    ASSERT_NE(controlDestination, controlPorts.end());
    EXPECT_NE(controlSource->address, controlDestination->address);
    EXPECT_EQ(controlSource->capability & SND_SEQ_PORT_CAP_WRITE, 0u);
    EXPECT_EQ(controlDestination->capability & SND_SEQ_PORT_CAP_READ, 0u);
    const auto notesPorts = portsNamed(clientName, "Corvane Notes");
    ASSERT_EQ(notesPorts.size(), 1u) << "a source only";
    EXPECT_EQ(notesPorts[0].capability & readable, readable);
    EXPECT_EQ(notesPorts[0].capability & SND_SEQ_PORT_CAP_WRITE, 0u);

    // Their unique IDs as our own listing gives them: fixed, the destination's one higher.
    const auto idOf = [](const std::vector<MIDIEndpointInfo>& endpoints, const std::string& name) {
        auto found = std::find_if(endpoints.begin(), endpoints.end(),
                                  [&](const auto& endpoint) { return endpoint.displayName == name; });
        return found == endpoints.end() ? 0 : found->uniqueID;
    };
    EXPECT_EQ(idOf(MIDIEndpoints::sources(), "Corvane"), 0x436F7200);
    EXPECT_EQ(idOf(MIDIEndpoints::destinations(), "Corvane"), 0x436F7201);
    EXPECT_EQ(idOf(MIDIEndpoints::sources(), "Corvane Notes"), 0x436F7210);

    // The script's side: it subscribes to both sources and writes to the destination.
    SequencerPeer script("Cubase", "MIDI Remote");
    script.connectFrom(controlSource->address);
    script.connectFrom(notesPorts[0].address);
    script.connectTo(controlDestination->address);

    const Bytes state = sysex(600, 3);
    control->send(state);
    EXPECT_EQ(script.waitForReceived(state.size()), state);
    script.clearReceived();
    const Bytes note = {0x91, 64, 80};
    notes->send(note);
    EXPECT_EQ(script.waitForReceived(note.size()), note);

    const Bytes hostMessage = sysex(900, 4);
    script.send(hostMessage);
    EXPECT_EQ(joined(toControl.waitForBytes(hostMessage.size())), hostMessage);

    control.reset();
    notes.reset();
    EXPECT_TRUE(portsNamed(clientName, "Corvane").empty());
    EXPECT_TRUE(portsNamed(clientName, "Corvane Notes").empty());
}

}  // namespace
}  // namespace corvane::vm
