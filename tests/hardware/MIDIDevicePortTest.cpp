#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "core/Log.h"
#include "hardware/MIDIClient.h"
#include "hardware/MIDIDevicePort.h"
#include "hardware/MIDIError.h"
#include "hardware/PushPortNames.h"
#include "tests/support/SimulatedMIDISystem.h"

namespace corvane {
namespace {

using Bytes = SimulatedMIDISystem::Bytes;
using Call = SimulatedMIDISystem::ConnectionCall;

constexpr const char* push = "Ableton Push 3 Live Port";

class MIDIDevicePortTest : public ::testing::Test {
protected:
    std::shared_ptr<SimulatedMIDISystem> system = std::make_shared<SimulatedMIDISystem>();
    std::shared_ptr<MIDIClient> client = std::make_shared<MIDIClient>("Corvane Bridge", system);

    std::mutex receivedLock;
    std::vector<Bytes> received;
    std::vector<bool> changes;

    std::shared_ptr<MIDIDevicePort> open(const std::string& name = push) {
        return watched(MIDIDevicePort::create(client, name, name, receiver()));
    }

    // The Push's port as the programs open it: under either name the kernel gives it.
    std::shared_ptr<MIDIDevicePort> openPush() {
        return watched(MIDIDevicePort::create(client, PushPortNames::inOrder(), receiver()));
    }

    MIDIReceiveCallback receiver() {
        return [this](std::span<const std::uint8_t> bytes) {
            std::lock_guard guard(receivedLock);
            received.emplace_back(bytes.begin(), bytes.end());
        };
    }

    std::shared_ptr<MIDIDevicePort> watched(std::shared_ptr<MIDIDevicePort> port) {
        port->setOnConnectionChange([this](bool connected) { changes.push_back(connected); });
        return port;
    }

    std::vector<Bytes> receivedSoFar() {
        system->waitForDeliveries();
        std::lock_guard guard(receivedLock);
        return received;
    }

    void settle() { ASSERT_TRUE(system->settle()); }
};

TEST_F(MIDIDevicePortTest, BindsTheFirstSourceAndDestinationOfThatNameThatAreOnline) {
    system->addSource("Ableton Push 3 User Port");
    MIDIRef offlineSource = system->addSource(push, 101, true);
    MIDIRef source = system->addSource(push, 102);
    MIDIRef destination = system->addDestination(push, 103);
    system->addDestination(push, 104);
    settle();

    auto port = open();
    EXPECT_TRUE(port->isConnected());
    ASSERT_TRUE(port->source());
    EXPECT_EQ(port->source()->ref, source);
    EXPECT_EQ(port->destination()->uniqueID, 103);
    EXPECT_EQ(system->readersOf(source).size(), 1u);
    EXPECT_TRUE(system->readersOf(offlineSource).empty());

    system->inject(source, {0x90, 36, 0});
    system->inject(source, {0xF0, 0x00, 0x21});
    system->inject(source, {0x1D, 0xF7});
    EXPECT_EQ(receivedSoFar(), (std::vector<Bytes>{{0x90, 36, 0}, {0xF0, 0x00, 0x21}, {0x1D, 0xF7}}));

    port->send(Bytes{0xB0, 85, 127});
    EXPECT_EQ(system->sentTo(destination), (std::vector<Bytes>{{0xB0, 85, 127}}));
}

TEST_F(MIDIDevicePortTest, WaitsForTheDeviceAndReportsItsComingAndGoing) {
    auto port = open();
    EXPECT_FALSE(port->isConnected());
    port->send(Bytes{0x90, 36, 127});
    EXPECT_TRUE(system->sent().empty());

    auto device = system->addDevice(push, 500);
    settle();
    EXPECT_TRUE(port->isConnected());
    EXPECT_EQ(changes, (std::vector<bool>{true}));

    // Only one half present is not connected; the source alone is still read.
    system->remove(device.destination);
    settle();
    EXPECT_FALSE(port->isConnected());
    EXPECT_TRUE(port->source());
    EXPECT_EQ(changes, (std::vector<bool>{true, false}));
}

TEST_F(MIDIDevicePortTest, DeviceThatVanishesAndReturnsWithTheSameIDIsConnectedAgainOnce) {
    auto device = system->addDevice(push, 500);
    settle();
    auto port = open();
    ASSERT_TRUE(port->isConnected());
    MIDIRef inputPort = system->readersOf(device.source).at(0);
    MIDIRef oldSource = device.source;
    system->clearConnectionCalls();

    system->remove(device);
    settle();
    EXPECT_FALSE(port->isConnected());
    device = system->addDevice(push, 500);
    settle();
    EXPECT_TRUE(port->isConnected());

    EXPECT_EQ(system->connectionCalls(),
              (std::vector<Call>{{inputPort, oldSource, false}, {inputPort, device.source, true}}));
    EXPECT_EQ(changes, (std::vector<bool>{false, true}));
    system->inject(device.source, {0x80, 36, 0});
    EXPECT_EQ(receivedSoFar(), (std::vector<Bytes>{{0x80, 36, 0}}));
}

// A kernel's MIDI port, a USB device's among them, takes events only from its subscribers.
TEST_F(MIDIDevicePortTest, SendsReachADeviceThroughAConnectionToItsDestinationThatFollowsTheDevice) {
    auto device = system->addDevice(push, 500);
    settle();
    auto port = open();
    port->send(Bytes{0x90, 36, 127});
    EXPECT_EQ(system->sentTo(device.destination), (std::vector<Bytes>{{0x90, 36, 127}}));
    ASSERT_EQ(system->writersOf(device.destination).size(), 1u);

    system->remove(device);
    device = system->addDevice(push);
    settle();
    port->send(Bytes{0xB0, 85, 127});
    EXPECT_EQ(system->sentTo(device.destination), (std::vector<Bytes>{{0xB0, 85, 127}}));

    port.reset();
    EXPECT_TRUE(system->writersOf(device.destination).empty());
}

TEST_F(MIDIDevicePortTest, OtherSetUpChangesLeaveTheConnectionAlone) {
    auto device = system->addDevice(push, 500);
    settle();
    auto port = open();
    system->clearConnectionCalls();

    system->addSource("Midi Through Port-0");
    system->setOffline(system->addDestination("IAC Bus 1"), true);
    settle();
    EXPECT_GE(system->setupNotifications(), 1);
    EXPECT_TRUE(system->connectionCalls().empty());
    EXPECT_TRUE(changes.empty());
    EXPECT_EQ(system->readersOf(device.source).size(), 1u);
}

TEST_F(MIDIDevicePortTest, ReplacedEndpointWithTheSameIDIsConnectedEvenWhenBothChangesComeTogether) {
    auto device = system->addDevice(push, 500);
    settle();
    auto port = open();

    // Gone and back before the port hears of it: the connection went with the old endpoint, and
    // the device may have restarted.
    system->remove(device);
    device = system->addDevice(push, 500);
    settle();
    EXPECT_TRUE(port->isConnected());
    EXPECT_EQ(system->readersOf(device.source).size(), 1u);
    EXPECT_EQ(changes, (std::vector<bool>{false, true}));
}

// The machine slept through a re-plug, and the device came back at its old address: only its
// unique ID tells it is new, and its owner sets it up as after any re-plug.
TEST_F(MIDIDevicePortTest, ADeviceBackAtItsAddressWithAFreshIDIsSubscribedAgainAndReportedAsAReconnect) {
    auto device = system->addDevice(push, 500);
    settle();
    auto port = open();
    MIDIRef inputPort = system->readersOf(device.source).at(0);
    system->clearConnectionCalls();

    system->remove(device);
    system->addDevice(push, device);
    settle();
    EXPECT_TRUE(port->isConnected());
    EXPECT_NE(port->source()->uniqueID, 500);
    EXPECT_EQ(changes, (std::vector<bool>{false, true}));
    EXPECT_EQ(system->connectionCalls(),
              (std::vector<Call>{{inputPort, device.source, false}, {inputPort, device.source, true}}));
    EXPECT_EQ(system->writersOf(device.destination).size(), 1u);
    system->inject(device.source, {0x90, 36, 1});
    EXPECT_EQ(receivedSoFar(), (std::vector<Bytes>{{0x90, 36, 1}}));
}

// Its announcements lost with the client's input, a device back at its old address with its old
// ID looks as if it never went; its subscriptions went all the same.
TEST_F(MIDIDevicePortTest, AfterLostInputTheDeviceIsBoundAfreshAndReportedAsAReconnectOnceForABurst) {
    auto keys = system->addDevice("Keys");
    auto device = system->addDevice(push, 500);
    settle();
    auto keysPort = MIDIDevicePort::create(client, "Keys", "Keys", {});
    auto port = open();
    system->setInputPool(client->ref(), 4);
    auto overrun = [&] {
        system->setReading(client->ref(), false);
        for (std::uint8_t n = 0; n < 5; ++n) system->inject(keys.source, {0x90, n, 1});
        system->setReading(client->ref(), true);
        system->waitForDeliveries();
    };

    system->setReading(client->ref(), false);
    system->remove(device);
    system->addDevice(push, device, 500);
    overrun();
    overrun();
    settle();
    EXPECT_TRUE(port->isConnected());
    EXPECT_EQ(port->source()->uniqueID, 500);
    EXPECT_EQ(changes, (std::vector<bool>{false, true}));
    EXPECT_EQ(system->readersOf(device.source).size(), 1u);
    EXPECT_EQ(system->writersOf(device.destination).size(), 1u);
    system->inject(device.source, {0x90, 36, 1});
    EXPECT_EQ(receivedSoFar(), (std::vector<Bytes>{{0x90, 36, 1}}));
}

// Lost input took nothing of the device's with it but what it sent: its connections stood, so it
// never left, and only the loss is reported, once for a burst.
TEST_F(MIDIDevicePortTest, AfterLostInputADeviceWhoseConnectionsStoodIsKeptAndOnlyTheLossReported) {
    auto keys = system->addDevice("Keys");
    auto device = system->addDevice(push, 500);
    settle();
    auto keysPort = MIDIDevicePort::create(client, "Keys", "Keys", {});
    auto port = open();
    int losses = 0;
    port->setOnInputLostWhileConnected([&] { ++losses; });
    system->setInputPool(client->ref(), 4);
    system->clearConnectionCalls();
    for (int burst = 0; burst < 2; ++burst) {
        system->setReading(client->ref(), false);
        for (std::uint8_t n = 0; n < 5; ++n) system->inject(keys.source, {0x90, n, 1});
        system->setReading(client->ref(), true);
        system->waitForDeliveries();
    }
    settle();
    EXPECT_EQ(losses, 1);
    EXPECT_TRUE(changes.empty());
    EXPECT_TRUE(system->connectionCalls().empty());
    EXPECT_TRUE(port->isConnected());
    system->inject(device.source, {0x90, 36, 1});
    EXPECT_EQ(receivedSoFar(), (std::vector<Bytes>{{0x90, 36, 1}}));

    // Re-plugged at its old address under its old ID, unheard: its connections went with it.
    system->setReading(client->ref(), false);
    system->remove(device);
    system->addDevice(push, device, 500);
    for (std::uint8_t n = 0; n < 5; ++n) system->inject(keys.source, {0x90, n, 1});
    system->setReading(client->ref(), true);
    settle();
    EXPECT_EQ(losses, 1);
    EXPECT_EQ(changes, (std::vector<bool>{false, true}));
}

TEST_F(MIDIDevicePortTest, MatchesNamesExactly) {
    auto device = system->addDevice(push, 500);
    settle();
    auto port = open();
    ASSERT_TRUE(port->isConnected());

    system->rename(device.source, "ableton push 3 live port");
    settle();
    EXPECT_FALSE(port->isConnected());
    EXPECT_FALSE(port->source());
    EXPECT_TRUE(system->readersOf(device.source).empty());
    EXPECT_EQ(changes, (std::vector<bool>{false}));

    system->rename(device.source, std::string(push) + " ");
    settle();
    EXPECT_FALSE(port->isConnected());
}

TEST_F(MIDIDevicePortTest, GoingOfflineUnbindsAndComingBackBindsAgain) {
    auto device = system->addDevice(push, 500);
    settle();
    auto port = open();
    system->setOffline(device.destination, true);
    settle();
    EXPECT_FALSE(port->isConnected());
    system->setOffline(device.destination, false);
    settle();
    EXPECT_TRUE(port->isConnected());
    EXPECT_EQ(changes, (std::vector<bool>{false, true}));
}

TEST_F(MIDIDevicePortTest, ReleasedPortNeitherReceivesNorRefreshes) {
    auto device = system->addDevice(push, 500);
    settle();
    auto port = open();
    port.reset();
    EXPECT_EQ(system->portCount(), 0);
    EXPECT_TRUE(system->readersOf(device.source).empty());
    system->inject(device.source, {0x90, 1, 2});
    system->remove(device);
    settle();
    EXPECT_TRUE(receivedSoFar().empty());
}

// Kernels before 5.13, and devices without jack names, call the Live Port by the card name and
// the port's number.
TEST_F(MIDIDevicePortTest, ThePushUnderItsGenericNameIsBoundByItsFirstPortAndComesAndGoesAsUnderItsOwn) {
    system->addDevice("Ableton Push 3 MIDI 2", 300);  // the User Port, listed first
    system->addDevice("Another Device MIDI 1", 310);
    system->addSource("Ableton Push 3 MIDI 1", 320, true);
    auto generic = system->addDevice("Ableton Push 3 MIDI 1", 500);
    settle();

    auto port = openPush();
    ASSERT_TRUE(port->isConnected());
    EXPECT_EQ(port->source()->ref, generic.source);
    EXPECT_EQ(port->destination()->ref, generic.destination);
    EXPECT_EQ(system->readersOf(generic.source).size(), 1u);
    port->send(Bytes{0xB0, 85, 127});
    EXPECT_EQ(system->sentTo(generic.destination), (std::vector<Bytes>{{0xB0, 85, 127}}));
    EXPECT_EQ(system->sent().size(), 1u);

    MIDIRef inputPort = system->readersOf(generic.source).at(0);
    MIDIRef oldSource = generic.source;
    system->clearConnectionCalls();
    system->remove(generic);
    settle();
    EXPECT_FALSE(port->isConnected());
    generic = system->addDevice("Ableton Push 3 MIDI 1");  // a fresh unique ID
    settle();
    EXPECT_TRUE(port->isConnected());
    EXPECT_EQ(changes, (std::vector<bool>{false, true}));
    EXPECT_EQ(system->connectionCalls(),
              (std::vector<Call>{{inputPort, oldSource, false}, {inputPort, generic.source, true}}));
    system->inject(generic.source, {0x90, 36, 100});
    EXPECT_EQ(receivedSoFar(), (std::vector<Bytes>{{0x90, 36, 100}}));

    // Without it, neither the User Port nor another device's first port will do.
    system->remove(generic);
    settle();
    EXPECT_FALSE(port->isConnected());
    EXPECT_FALSE(port->source());
}

// Both names present: two devices, as a kernel names one device's ports only one way. The Live
// Port's own name wins, and a switch is another device for the port's owner.
TEST_F(MIDIDevicePortTest, TheLivePortsOwnNameWinsOverTheGenericOneWheneverItIsThere) {
    auto generic = system->addDevice("Ableton Push 3 MIDI 1", 500);
    settle();
    auto port = openPush();
    ASSERT_EQ(port->source()->ref, generic.source);
    MIDIRef inputPort = system->readersOf(generic.source).at(0);
    system->clearConnectionCalls();

    // Only half of it there is not yet a port to switch to.
    MIDIRef liveSource = system->addSource(push, 600);
    settle();
    EXPECT_EQ(port->source()->ref, generic.source);
    EXPECT_TRUE(changes.empty());

    MIDIRef liveDestination = system->addDestination(push, 601);
    settle();
    EXPECT_EQ(port->source()->ref, liveSource);
    EXPECT_EQ(port->destination()->ref, liveDestination);
    EXPECT_EQ(changes, (std::vector<bool>{false, true}));
    EXPECT_EQ(system->connectionCalls(),
              (std::vector<Call>{{inputPort, generic.source, false}, {inputPort, liveSource, true}}));
    port->send(Bytes{0x90, 36, 1});
    EXPECT_EQ(system->sentTo(liveDestination), (std::vector<Bytes>{{0x90, 36, 1}}));
    EXPECT_TRUE(system->sentTo(generic.destination).empty());

    system->remove(liveDestination);
    system->remove(liveSource);
    settle();
    EXPECT_EQ(port->source()->ref, generic.source);
    EXPECT_EQ(changes, (std::vector<bool>{false, true, false, true}));
    EXPECT_EQ(system->readersOf(generic.source).size(), 1u);
    EXPECT_TRUE(system->readersOf(liveSource).empty());
}

TEST_F(MIDIDevicePortTest, CreationFailuresAreMIDIErrors) {
    system->failNext("MIDIOutputPortCreate", -10830);
    try {
        open();
        FAIL() << "no error";
    } catch (const MIDIError& error) {
        EXPECT_STREQ(error.what(), "MIDIOutputPortCreate failed (OSStatus -10830)");
        EXPECT_EQ(error.status(), -10830);
    }
    EXPECT_EQ(system->portCount(), 0);
}

class MIDIDevicePortLogTest : public MIDIDevicePortTest {
protected:
    void SetUp() override {
        Log::shared().setEchoToStderr(true);
        device = system->addDevice(push, 500);
        settle();
    }
    void TearDown() override { Log::shared().setLogMIDI(false); }

    std::string logged(const std::function<void()>& action) {
        ::testing::internal::CaptureStderr();
        action();
        Log::shared().flush();
        return ::testing::internal::GetCapturedStderr();
    }

    SimulatedMIDISystem::Device device;
};

TEST_F(MIDIDevicePortLogTest, SendsAreTracedOnlyWithMIDILogging) {
    auto port = open();
    auto other = open("Nowhere");
    Log::shared().setMinimumLevel(Log::Level::debug);
    EXPECT_EQ(logged([&] { port->send(Bytes{0x90, 36, 127}); }), "");
    Log::shared().setMinimumLevel(Log::Level::info);

    Log::shared().setLogMIDI(true);
    Bytes sysex(30, 0x11);
    std::string text = logged([&] {
        port->send(Bytes{0x90, 36, 127});
        port->send(sysex);
        other->send(Bytes{0xB0, 0x0A});
    });
    EXPECT_NE(text.find("DEBUG \u2192 Ableton Push 3 Live Port: 90 24 7F\n"), std::string::npos) << text;
    std::string first24;
    for (int i = 0; i < 24; ++i) first24 += i == 0 ? "11" : " 11";
    EXPECT_NE(text.find("\u2192 Ableton Push 3 Live Port: " + first24 + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find("DEBUG \u2192 Nowhere dropped (port not connected): B0 0A\n"), std::string::npos)
        << text;
    EXPECT_EQ(system->sentTo(device.destination).size(), 3u);
}

TEST_F(MIDIDevicePortLogTest, EmptySendsDoNothingAtAll) {
    auto port = open();
    auto other = open("Nowhere");
    Log::shared().setLogMIDI(true);
    EXPECT_EQ(logged([&] {
                  port->send(Bytes{});
                  other->send(Bytes{});
              }),
              "");
    EXPECT_TRUE(system->sent().empty());
}

}  // namespace
}  // namespace corvane
