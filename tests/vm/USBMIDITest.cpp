// The Push's MIDI port as a real kernel's USB audio driver names it: a USB MIDI gadget on the
// dummy controllers without jack names, so Debian's kernel calls its ports by the card name and
// the port's number, and the device port binds the first of them.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "hardware/MIDIClient.h"
#include "hardware/MIDIDevicePort.h"
#include "hardware/PushPortNames.h"
#include "platform/MainQueue.h"
#include "tests/vm/MIDIGadget.h"
#include "tests/vm/RealKernel.h"
#include "tests/vm/ReceivedRuns.h"
#include "tests/vm/SequencerPeer.h"

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
    EXPECT_EQ(portsOfClient("Ableton Push 3"),
              (std::vector<std::string>{"Ableton Push 3 MIDI 1", "Ableton Push 3 MIDI 2"}));
    EXPECT_EQ(port->source()->displayName, "Ableton Push 3 MIDI 1");
    EXPECT_EQ(port->destination()->displayName, "Ableton Push 3 MIDI 1");
    const auto before = *port->source();
    exchange(*port, runs, 1);

    std::vector<bool> changes;
    port->setOnConnectionChange([&](bool connected) { changes.push_back(connected); });
    gadget->unbind();
    ASSERT_TRUE(MainQueue::pumpUntil([&] { return !port->isConnected(); }, plugTime));
    EXPECT_EQ(changes, std::vector<bool>{false});
    EXPECT_TRUE(portsOfClient("Ableton Push 3").empty());

    gadget->bind();
    ASSERT_TRUE(MainQueue::pumpUntil([&] { return port->isConnected(); }, plugTime));
    EXPECT_EQ(changes, (std::vector<bool>{false, true}));
    EXPECT_EQ(port->source()->displayName, "Ableton Push 3 MIDI 1");
    EXPECT_NE(port->source()->uniqueID, before.uniqueID);
    exchange(*port, runs, 2);
}

}  // namespace
}  // namespace corvane::vm
