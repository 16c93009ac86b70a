#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hardware/MIDIClient.h"
#include "hardware/MIDIDevicePort.h"
#include "hardware/MIDIEndpoints.h"
#include "hardware/MIDIError.h"
#include "hardware/VirtualMIDIPort.h"
#include "platform/MainQueue.h"
#include "tests/support/SimulatedMIDISystem.h"

namespace corvane {
namespace {

using Bytes = SimulatedMIDISystem::Bytes;

class MIDIClientTest : public ::testing::Test {
protected:
    std::shared_ptr<SimulatedMIDISystem> system = std::make_shared<SimulatedMIDISystem>();
};

TEST_F(MIDIClientTest, ObserversHearOfSetUpChangesOnTheMainQueueInOrder) {
    auto client = std::make_shared<MIDIClient>("Corvane Bridge", system);
    std::vector<std::string> calls;
    client->onSetupChanged([&] {
        EXPECT_TRUE(MainQueue::isCurrent());
        calls.push_back("first");
    });
    client->onSetupChanged([&] { calls.push_back("second"); });

    // From another thread, and two changes at once: one notification, later.
    std::thread([&] {
        system->addSource("a");
        system->addSource("b");
    }).join();
    EXPECT_TRUE(calls.empty());
    ASSERT_TRUE(system->settle());
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "second"}));

    system->addSource("c");
    client.reset();
    ASSERT_TRUE(system->settle());
    EXPECT_EQ(calls.size(), 2u);
    EXPECT_EQ(system->clientCount(), 0);
}

// As the kernel's announcements do, set-up changes wait in the input of a program that does not
// read, take room there, and go with it when it overflows.
TEST_F(MIDIClientTest, AClientThatDoesNotReadHearsOfSetUpChangesWhenItReadsAgainOrAfterItsLoss) {
    auto client = std::make_shared<MIDIClient>("Corvane Bridge", system);
    std::mutex lock;
    std::vector<std::string> calls;
    auto record = [&](const char* call) {
        std::lock_guard guard(lock);
        calls.emplace_back(call);
    };
    auto callsSoFar = [&] {
        std::lock_guard guard(lock);
        return calls;
    };
    client->onSetupChanged([&] { record("changed"); });
    client->onInputLost([&] { record("lost"); });

    system->setReading(client->ref(), false);
    system->addSource("a");
    system->addSource("b");
    ASSERT_TRUE(system->settle());
    EXPECT_TRUE(callsSoFar().empty());
    system->setReading(client->ref(), true);
    ASSERT_TRUE(system->settle());
    EXPECT_EQ(callsSoFar(), (std::vector<std::string>{"changed"}));

    system->setInputPool(client->ref(), 2);
    system->setReading(client->ref(), false);
    for (const char* name : {"c", "d", "e"}) system->addSource(name);
    ASSERT_TRUE(system->settle());
    system->setReading(client->ref(), true);
    ASSERT_TRUE(system->settle());
    EXPECT_EQ(callsSoFar(), (std::vector<std::string>{"changed", "lost", "changed"}));
}

TEST_F(MIDIClientTest, FailingCreationIsAMIDIError) {
    system->failNext("MIDIClientCreate", -50);
    EXPECT_THROW(MIDIClient("Corvane Bridge", system), MIDIError);
    EXPECT_NO_THROW(MIDIClient("Corvane Bridge", system));
}

TEST(MIDIErrorText, NamesTheOperationAndStatus) {
    EXPECT_STREQ(MIDIError(-10830, "MIDISourceCreate").what(), "MIDISourceCreate failed (OSStatus -10830)");
    EXPECT_STREQ(MIDIError(-2, "MIDIClientCreate", "no sequencer").what(),
                 "MIDIClientCreate failed (OSStatus -2): no sequencer");
}

TEST_F(MIDIClientTest, EndpointsListInSystemOrderWithPlaceholders) {
    system->addSource("Ableton Push 3 Live Port", 7);
    MIDIRef unnamed = system->addSource(std::nullopt, 8, true);
    system->addDestination("IAC Bus 1", -3);

    auto sources = MIDIEndpoints::sources(*system);
    ASSERT_EQ(sources.size(), 2u);
    EXPECT_EQ(sources[0].description(), "Ableton Push 3 Live Port [id 7]");
    EXPECT_EQ(sources[1], (MIDIEndpointInfo{unnamed, "?", 8, true}));
    EXPECT_EQ(sources[1].description(), "? [id 8] (offline)");
    auto destinations = MIDIEndpoints::destinations(*system);
    ASSERT_EQ(destinations.size(), 1u);
    EXPECT_EQ(destinations[0].description(), "IAC Bus 1 [id -3]");

    EXPECT_EQ(
        MIDIEndpoints::info({.ref = 4, .name = std::nullopt, .uniqueID = std::nullopt, .offline = false}),
        (MIDIEndpointInfo{4, "?", 0, false}));
}

class VirtualMIDIPortTest : public MIDIClientTest {
protected:
    std::shared_ptr<MIDIClient> client = std::make_shared<MIDIClient>("Corvane Bridge", system);
    std::mutex lock;
    std::vector<Bytes> received;

    MIDIReceiveCallback recorder() {
        return [this](std::span<const std::uint8_t> bytes) {
            std::lock_guard guard(lock);
            received.emplace_back(bytes.begin(), bytes.end());
        };
    }
    std::vector<Bytes> receivedSoFar() {
        system->waitForDeliveries();
        std::lock_guard guard(lock);
        return received;
    }
};

TEST_F(VirtualMIDIPortTest, IsASourceAndADestinationOthersFindByName) {
    VirtualMIDIPort control(client, "Corvane", 0x50464301, recorder());
    VirtualMIDIPort notes(client, "Corvane Notes", 0x50464311);

    auto sources = MIDIEndpoints::sources(*system);
    ASSERT_EQ(sources.size(), 2u);
    EXPECT_EQ(sources[0], (MIDIEndpointInfo{control.source(), "Corvane", 1346781953, false}));
    EXPECT_EQ(sources[1], (MIDIEndpointInfo{notes.source(), "Corvane Notes", 1346781969, false}));
    auto destinations = MIDIEndpoints::destinations(*system);
    ASSERT_EQ(destinations.size(), 1u);
    EXPECT_EQ(destinations[0], (MIDIEndpointInfo{control.destination(), "Corvane", 1346781954, false}));
    EXPECT_EQ(notes.destination(), 0u);

    system->inject(control.destination(), {0xF0, 0x7D, 0x01, 0xF7});
    EXPECT_EQ(receivedSoFar(), (std::vector<Bytes>{{0xF0, 0x7D, 0x01, 0xF7}}));

    notes.send(Bytes{0x90, 60, 100});
    const std::uint8_t raw[] = {0x80, 60, 0};
    notes.send(raw, sizeof raw);
    notes.send(Bytes{});
    EXPECT_EQ(system->sentTo(notes.source()), (std::vector<Bytes>{{0x90, 60, 100}, {0x80, 60, 0}}));
}

TEST_F(VirtualMIDIPortTest, AnotherApplicationTalksToItThroughADevicePort) {
    VirtualMIDIPort control(client, "Corvane", 0x50464301, recorder());
    auto script = std::make_shared<MIDIClient>("Tessaly", system);
    std::vector<Bytes> toScript;
    auto port = MIDIDevicePort::create(
        script, "Corvane", "Corvane",
        [&](std::span<const std::uint8_t> bytes) { toScript.emplace_back(bytes.begin(), bytes.end()); });
    ASSERT_TRUE(port->isConnected());

    control.send(Bytes{0xB0, 1, 2});
    port->send(Bytes{0xB0, 3, 4});
    system->waitForDeliveries();
    EXPECT_EQ(toScript, (std::vector<Bytes>{{0xB0, 1, 2}}));
    EXPECT_EQ(receivedSoFar(), (std::vector<Bytes>{{0xB0, 3, 4}}));
}

// As the kernel's sequencer does with a client's input pool, and a device's.
TEST_F(VirtualMIDIPortTest, AReaderThatFallsBehindLosesItsQueueAndTheSenderHearsOfTheDrop) {
    VirtualMIDIPort control(client, "Corvane", 0x50464301, recorder());
    client->onInputLost([this] {
        std::lock_guard guard(lock);
        received.emplace_back();  // where the loss came among the runs
    });
    auto script = std::make_shared<MIDIClient>("Tessaly", system);
    auto port = MIDIDevicePort::create(script, "Corvane", "Corvane", {});
    ASSERT_TRUE(port->isConnected());
    system->setInputPool(client->ref(), 3);

    EXPECT_EQ(port->send(Bytes{0xB0, 1, 1}), MIDISendResult::sent);
    EXPECT_EQ(receivedSoFar().size(), 1u);
    // Stopped: its pool fills, and the send that finds it full is refused.
    system->setReading(client->ref(), false);
    for (std::uint8_t n = 2; n <= 4; ++n) EXPECT_EQ(port->send(Bytes{0xB0, n, n}), MIDISendResult::sent);
    EXPECT_EQ(port->send(Bytes{0xB0, 5, 5}), MIDISendResult::receiverFull);
    EXPECT_EQ(receivedSoFar().size(), 1u);
    // Reading again: what it had queued is gone, it hears so, and then all is as before.
    system->setReading(client->ref(), true);
    EXPECT_EQ(receivedSoFar(), (std::vector<Bytes>{{0xB0, 1, 1}, {}}));
    EXPECT_EQ(port->send(Bytes{0xB0, 6, 6}), MIDISendResult::sent);
    EXPECT_EQ(receivedSoFar(), (std::vector<Bytes>{{0xB0, 1, 1}, {}, {0xB0, 6, 6}}));

    // A device that takes nothing for a while refuses past its pool, then takes again.
    const auto synth = system->addDevice("Synth");
    std::vector<Bytes> toSynth;
    system->setReceiver(synth.destination, [&](std::span<const std::uint8_t> bytes) {
        toSynth.emplace_back(bytes.begin(), bytes.end());
    });
    auto synthPort = MIDIDevicePort::create(client, "Synth", "Synth", {});
    ASSERT_TRUE(synthPort->isConnected());
    system->setInputPool(synth.destination, 1);
    system->setReading(synth.destination, false);
    EXPECT_EQ(synthPort->send(Bytes{0x90, 60, 1}), MIDISendResult::sent);
    EXPECT_EQ(synthPort->send(Bytes{0x90, 61, 1}), MIDISendResult::receiverFull);
    system->setReading(synth.destination, true);
    system->waitForDeliveries();
    EXPECT_EQ(synthPort->send(Bytes{0x90, 62, 1}), MIDISendResult::sent);
    system->waitForDeliveries();
    EXPECT_EQ(toSynth, (std::vector<Bytes>{{0x90, 62, 1}}));
    EXPECT_EQ(system->sentTo(synth.destination), (std::vector<Bytes>{{0x90, 60, 1}, {0x90, 62, 1}}));
}

TEST_F(VirtualMIDIPortTest, ReleasingItRemovesBothEndpoints) {
    auto control = std::make_unique<VirtualMIDIPort>(client, "Corvane", 0x50464301, recorder());
    MIDIRef destination = control->destination();
    ASSERT_TRUE(system->settle());
    int before = system->setupNotifications();
    control.reset();
    EXPECT_TRUE(MIDIEndpoints::sources(*system).empty());
    EXPECT_TRUE(MIDIEndpoints::destinations(*system).empty());
    EXPECT_THROW(system->inject(destination, {0x90, 1, 1}), std::invalid_argument);
    ASSERT_TRUE(system->settle());
    EXPECT_EQ(system->setupNotifications(), before + 1);
}

TEST_F(VirtualMIDIPortTest, DestinationFailureTakesTheSourceBackToo) {
    system->failNext("MIDIDestinationCreate", -10843);
    EXPECT_THROW(VirtualMIDIPort(client, "Corvane", 0x50464301, recorder()), MIDIError);
    EXPECT_TRUE(MIDIEndpoints::sources(*system).empty());
}

}  // namespace
}  // namespace corvane
