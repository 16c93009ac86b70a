// Making and unmaking bridges: what they leave behind, and failures while starting.

#include <gtest/gtest.h>

#include "hardware/MIDIError.h"
#include "tests/bridge/BridgeHarness.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

class BridgeLifetimeTest : public BridgeHarness {
protected:
    std::vector<MIDIBackend::Endpoint> endpointsNamed(const std::string& name) {
        std::vector<MIDIBackend::Endpoint> found;
        for (const auto& list : {system->sources(), system->destinations()})
            for (const auto& endpoint : list)
                if (endpoint.name == name) found.push_back(endpoint);
        return found;
    }
};

TEST_F(BridgeLifetimeTest, StartingWithoutAPushMakesTheVirtualPortsAndGreetsTheScript) {
    push->unplug();
    start();
    const auto control = endpointsNamed("Corvane");
    ASSERT_EQ(control.size(), 2u);
    EXPECT_EQ(control[0].uniqueID, 0x50464301);  // the source
    EXPECT_EQ(control[1].uniqueID, 0x50464302);  // the destination
    const auto notes = endpointsNamed("Corvane Notes");
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].uniqueID, 0x50464311);
    EXPECT_FALSE(system->findDestination("Corvane Notes").has_value());

    EXPECT_EQ(script->sentByBridge(), (std::vector<BridgeMessage>{BridgeMessage::bridgeHello("0.4.3", false),
                                                         BridgeMessage::requestResync()}));
    EXPECT_TRUE(logged("INFO waiting for Ableton Push 3 Live Port"));
    EXPECT_TRUE(logged("INFO bridge 0.4.3 started; virtual ports \"Corvane\" and \"Corvane Notes\""));
}

TEST_F(BridgeLifetimeTest, BridgesComeAndGoInOneProcessLeavingNothingBehind) {
    usb->plug();
    const int clients = system->clientCount();  // the script's
    const int ports = system->portCount();
    for (int round = 0; round < 3; ++round) {
        start();
        EXPECT_EQ(system->clientCount(), clients + 1);
        ASSERT_TRUE(pumpUntil([&] { return usb->frameCount() > 0; }));
        bridge.reset();
        ASSERT_TRUE(system->settle());
        EXPECT_EQ(system->clientCount(), clients);
        EXPECT_EQ(system->portCount(), ports);
        EXPECT_TRUE(endpointsNamed("Corvane").empty());
        EXPECT_TRUE(endpointsNamed("Corvane Notes").empty());
        EXPECT_EQ(usb->openInterfaces(), 0);
        EXPECT_EQ(usb->activeWatches(), 0);
    }
    // Work the gone bridges left on the queues finds them gone.
    pump(300ms);
    EXPECT_EQ(usb->closesDuringTransfer(), 0);
}

TEST_F(BridgeLifetimeTest, ABridgeLetGoWhileAFrameIsOnTheWireWaitsForIt) {
    usb->plug();
    usb->holdTransfers();
    start();
    ASSERT_TRUE(usb->waitForHeldTransfer(2s));
    // The release comes while the bridge is being torn down on this thread.
    std::thread releaser([&] {
        std::this_thread::sleep_for(50ms);
        usb->releaseTransfers();
    });
    bridge.reset();
    releaser.join();
    EXPECT_EQ(usb->closesDuringTransfer(), 0);
    EXPECT_EQ(usb->openInterfaces(), 0);
}

TEST_F(BridgeLifetimeTest, AClientThatCannotBeMadeFailsTheStartWithItsError) {
    const int clients = system->clientCount();
    system->failNext("MIDIClientCreate", -10830);
    try {
        Bridge::create(options, environment());
        FAIL() << "the bridge started";
    } catch (const MIDIError& error) {
        EXPECT_STREQ(error.what(), "MIDIClientCreate failed (OSStatus -10830)");
    }
    EXPECT_EQ(system->clientCount(), clients);
}

TEST_F(BridgeLifetimeTest, APortThatCannotBeMadeFailsTheStartAndReleasesTheOthers) {
    usb->plug();
    const int clients = system->clientCount();
    const int ports = system->portCount();
    system->failNext("MIDIInputPortCreate", -10843);
    EXPECT_THROW(Bridge::create(options, environment()), MIDIError);
    ASSERT_TRUE(system->settle());
    EXPECT_EQ(system->clientCount(), clients);
    EXPECT_EQ(system->portCount(), ports);
    EXPECT_TRUE(endpointsNamed("Corvane").empty());
    EXPECT_EQ(usb->openInterfaces(), 0);
    // A later start finds the names free.
    start();
    EXPECT_EQ(script->sentByBridge().size(), 2u);
}

}  // namespace
}  // namespace corvane
