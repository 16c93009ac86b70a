// The ALSA backend against the machine's own sequencer. Without /dev/snd/seq these tests skip,
// visibly, apart from the one that checks how a missing sequencer is reported. To run them on a
// machine without one: scripts/vm-test build/tests/corvane-tests-hardware --gtest_filter='Alsa*'

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "core/Log.h"
#include "hardware/AlsaMIDIBackend.h"
#include "hardware/MIDIClient.h"
#include "hardware/MIDIDevicePort.h"
#include "hardware/MIDIEndpoints.h"
#include "hardware/MIDIError.h"
#include "hardware/VirtualMIDIPort.h"
#include "platform/MainQueue.h"
#include "tests/support/ThreadWatch.h"

namespace corvane {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

#define REQUIRE_SEQUENCER()                                                            \
    if (!AlsaMIDIBackend::sequencerPresent()) {                                        \
        GTEST_SKIP() << "no ALSA sequencer on this machine (/dev/snd/seq is missing)"; \
    }

class Recorder {
public:
    MIDIReceiveCallback callback() {
        return [this](std::span<const std::uint8_t> bytes) {
            std::lock_guard guard(lock_);
            runs_.emplace_back(bytes.begin(), bytes.end());
            if (threadSeen_ == std::thread::id()) threadSeen_ = std::this_thread::get_id();
        };
    }
    std::vector<Bytes> runs() const {
        std::lock_guard guard(lock_);
        return runs_;
    }
    std::size_t count() const {
        std::lock_guard guard(lock_);
        return runs_.size();
    }
    std::thread::id thread() const {
        std::lock_guard guard(lock_);
        return threadSeen_;
    }
    bool waitFor(std::size_t count) const {
        return MainQueue::pumpUntil([&] { return this->count() >= count; }, 5s);
    }

private:
    mutable std::mutex lock_;
    std::vector<Bytes> runs_;
    std::thread::id threadSeen_;
};

// The first run it gets holds the receive thread, as a stopped program reads nothing, until it
// lets go (or 10 s pass).
class HeldReader {
public:
    MIDIReceiveCallback callback() {
        return [this](std::span<const std::uint8_t>) {
            if (runs_++ > 0) return;
            std::unique_lock guard(lock_);
            opened_.wait_for(guard, 10s, [&] { return !held_; });
        };
    }
    bool holding() const { return runs_ > 0; }
    void letGo() {
        {
            std::lock_guard guard(lock_);
            held_ = false;
        }
        opened_.notify_all();
    }

private:
    std::mutex lock_;
    std::condition_variable opened_;
    bool held_ = true;
    std::atomic<int> runs_ = 0;
};

// Sends to the reader until it holds the receive thread and its full input refuses.
bool fillInput(MIDIDevicePort& port, const HeldReader& reader) {
    port.send(Bytes{0xB0, 0, 0});
    if (!MainQueue::pumpUntil([&] { return reader.holding(); }, 5s)) return false;
    for (int i = 0; i < 10000; ++i) {
        if (port.send(Bytes{0xB0, 1, 1}) == MIDISendResult::receiverFull) return true;
    }
    return false;
}

std::optional<MIDIEndpointInfo> find(const std::vector<MIDIEndpointInfo>& endpoints,
                                     const std::string& name) {
    auto found =
        std::find_if(endpoints.begin(), endpoints.end(), [&](auto& e) { return e.displayName == name; });
    if (found == endpoints.end()) return std::nullopt;
    return *found;
}

TEST(AlsaMIDIBackendWithoutSequencer, CreatingAClientSaysTheSequencerIsMissing) {
    if (AlsaMIDIBackend::sequencerPresent()) GTEST_SKIP() << "this machine has an ALSA sequencer";
    auto backend = std::make_shared<AlsaMIDIBackend>();
    std::string clientFailure;
    try {
        MIDIClient client("Corvane Bridge", backend);
        FAIL() << "the client was created";
    } catch (const MIDIError& error) {
        EXPECT_EQ(error.operation(), "MIDIClientCreate");
        EXPECT_LT(error.status(), 0);
        EXPECT_EQ(std::string(error.what()),
                  "MIDIClientCreate failed (OSStatus " + std::to_string(error.status()) +
                      "): no ALSA sequencer on this machine (/dev/snd/seq is missing)");
        clientFailure = error.what();
    }
    // The listings say why too, rather than seeming empty.
    for (auto list : {&MIDIEndpoints::sources, &MIDIEndpoints::destinations}) {
        try {
            list(*backend);
            ADD_FAILURE() << "a listing came back";
        } catch (const MIDIError& error) {
            EXPECT_EQ(std::string(error.what()), clientFailure);
        }
    }
}

// Two backends stand for two programs: the bridge and another application.
class AlsaMIDIBackendTest : public ::testing::Test {
protected:
    void SetUp() override { REQUIRE_SEQUENCER(); }

    std::shared_ptr<AlsaMIDIBackend> ours = std::make_shared<AlsaMIDIBackend>();
    std::shared_ptr<AlsaMIDIBackend> theirs = std::make_shared<AlsaMIDIBackend>();
};

TEST_F(AlsaMIDIBackendTest, VirtualPortsAreSeenUnderTheirNamesAndHiddenPortsAreNot) {
    auto client = std::make_shared<MIDIClient>("Corvane Test", ours);
    Recorder recorder;
    VirtualMIDIPort control(client, "Corvane Test Control", 0x50464301, recorder.callback());
    VirtualMIDIPort notes(client, "Corvane Test Notes", 0x50464311);
    auto device = MIDIDevicePort::create(client, "Corvane Test Nothing", "Corvane Test Nothing", {});

    // Our own listing shows our fixed IDs.
    auto source = find(MIDIEndpoints::sources(*ours), "Corvane Test Control");
    ASSERT_TRUE(source);
    EXPECT_EQ(source->uniqueID, 0x50464301);
    EXPECT_FALSE(source->offline);
    EXPECT_EQ(find(MIDIEndpoints::destinations(*ours), "Corvane Test Control")->uniqueID, 0x50464302);
    EXPECT_EQ(find(MIDIEndpoints::sources(*ours), "Corvane Test Notes")->uniqueID, 0x50464311);
    EXPECT_FALSE(find(MIDIEndpoints::destinations(*ours), "Corvane Test Notes"));

    // Another program sees the same ports with IDs of its own; the port pair behind a device
    // port and the announcement listener are not endpoints.
    auto foreign = MIDIEndpoints::sources(*theirs);
    ASSERT_TRUE(find(foreign, "Corvane Test Control"));
    EXPECT_NE(find(foreign, "Corvane Test Control")->uniqueID, 0);
    for (const auto& e : foreign) {
        EXPECT_EQ(e.displayName.find("Corvane Test Nothing"), std::string::npos);
        EXPECT_NE(e.displayName, "set-up changes");
    }
    for (const auto& e : MIDIEndpoints::destinations(*theirs)) {
        EXPECT_EQ(e.displayName.find("Corvane Test Nothing"), std::string::npos);
    }
}

TEST_F(AlsaMIDIBackendTest, BytesCrossBetweenProgramsWholeAndInOrder) {
    auto bridge = std::make_shared<MIDIClient>("Corvane Test Bridge", ours);
    Recorder atBridge;
    VirtualMIDIPort control(bridge, "Corvane Test", 0x50464301, atBridge.callback());

    auto script = std::make_shared<MIDIClient>("Corvane Test Script", theirs);
    Recorder atScript;
    auto port = MIDIDevicePort::create(script, "Corvane Test", "Corvane Test", atScript.callback());
    ASSERT_TRUE(port->isConnected());

    // A long message comes through in pieces, in order. (A burst larger than the receiver's input
    // pool, about 56 kB, can overrun a reader that falls behind: the sequencer has no flow control.)
    Bytes sysex{0xF0, 0x00, 0x21, 0x1D};
    for (int i = 0; i < 16000; ++i) sysex.push_back(static_cast<std::uint8_t>(i % 128));
    sysex.push_back(0xF7);
    const std::vector<Bytes> runs{{0x90, 60, 100}, {0x90, 60, 0}, {0x90, 61, 0}, sysex, {0xB0, 7, 127}};
    for (const auto& run : runs) control.send(run);
    const std::size_t pieces = (sysex.size() + 255) / 256;
    ASSERT_TRUE(atScript.waitFor(runs.size() - 1 + pieces));
    auto received = atScript.runs();
    ASSERT_EQ(received.size(), runs.size() - 1 + pieces);
    EXPECT_EQ(std::vector<Bytes>(received.begin(), received.begin() + 3),
              std::vector<Bytes>(runs.begin(), runs.begin() + 3));
    Bytes joined;
    for (std::size_t i = 3; i < 3 + pieces; ++i)
        joined.insert(joined.end(), received[i].begin(), received[i].end());
    EXPECT_EQ(joined, sysex);
    EXPECT_EQ(received.back(), runs.back());
    EXPECT_NE(atScript.thread(), std::this_thread::get_id());

    for (int i = 0; i < 500; ++i)
        port->send(Bytes{0xB0, static_cast<std::uint8_t>(i % 128), static_cast<std::uint8_t>(i / 128)});
    ASSERT_TRUE(atBridge.waitFor(500));
    received = atBridge.runs();
    for (int i = 0; i < 500; ++i) {
        ASSERT_EQ(received[i],
                  (Bytes{0xB0, static_cast<std::uint8_t>(i % 128), static_cast<std::uint8_t>(i / 128)}));
    }
}

TEST_F(AlsaMIDIBackendTest, SendsFromManyThreadsArriveWhole) {
    auto bridge = std::make_shared<MIDIClient>("Corvane Test Bridge", ours);
    VirtualMIDIPort notes(bridge, "Corvane Test Notes", 0x50464311);
    auto listener = std::make_shared<MIDIClient>("Corvane Test Listener", theirs);
    Recorder heard;
    auto port =
        MIDIDevicePort::create(listener, "Corvane Test Notes", "Corvane Test Notes", heard.callback());
    ASSERT_TRUE(port->source());

    std::vector<std::thread> senders;
    for (std::uint8_t channel = 0; channel < 4; ++channel) {
        senders.emplace_back([&, channel] {
            for (std::uint8_t note = 0; note < 100; ++note)
                notes.send(Bytes{static_cast<std::uint8_t>(0x90 | channel), note, 1});
        });
    }
    for (auto& sender : senders) sender.join();
    ASSERT_TRUE(heard.waitFor(400));
    std::vector<int> next(4, 0);
    for (const auto& run : heard.runs()) {
        ASSERT_EQ(run.size(), 3u);
        int channel = run[0] & 0x0F;
        EXPECT_EQ(run[1], next[channel]++);  // each thread's own order holds
    }
}

TEST_F(AlsaMIDIBackendTest, AReturningPortIsANewEndpointAndTheDevicePortFollowsIt) {
    auto bridge = std::make_shared<MIDIClient>("Corvane Test Bridge", ours);
    auto control = std::make_unique<VirtualMIDIPort>(bridge, "Corvane Test Gadget", 0x50464301,
                                                     [](std::span<const std::uint8_t>) {});

    auto script = std::make_shared<MIDIClient>("Corvane Test Script", theirs);
    int setupChanges = 0;
    script->onSetupChanged([&] {
        EXPECT_TRUE(MainQueue::isCurrent());
        ++setupChanges;
    });
    Recorder heard;
    auto port =
        MIDIDevicePort::create(script, "Corvane Test Gadget", "Corvane Test Gadget", heard.callback());
    std::vector<bool> changes;
    port->setOnConnectionChange([&](bool connected) { changes.push_back(connected); });
    ASSERT_TRUE(port->isConnected());
    std::int32_t firstID = port->source()->uniqueID;

    control.reset();
    ASSERT_TRUE(MainQueue::pumpUntil([&] { return !port->isConnected(); }, 5s));
    EXPECT_GE(setupChanges, 1);
    control = std::make_unique<VirtualMIDIPort>(bridge, "Corvane Test Gadget", 0x50464301,
                                                [](std::span<const std::uint8_t>) {});
    ASSERT_TRUE(MainQueue::pumpUntil([&] { return port->isConnected(); }, 5s));
    EXPECT_NE(port->source()->uniqueID, firstID);
    EXPECT_EQ(changes, (std::vector<bool>{false, true}));

    control->send(Bytes{0x90, 1, 2});
    ASSERT_TRUE(heard.waitFor(1));
    EXPECT_EQ(heard.runs(), (std::vector<Bytes>{{0x90, 1, 2}}));
}

// The kernel's announcements wait in a client's input with the rest and go with it when it
// overflows: after the loss the client looks at the set-up again.
TEST_F(AlsaMIDIBackendTest, AClientWhoseInputOverflowedHearsOfASetUpChangeAfterTheLoss) {
    auto bridge = std::make_shared<MIDIClient>("Corvane Test Bridge", ours);
    HeldReader reader;
    VirtualMIDIPort control(bridge, "Corvane Test", 0x50464301, reader.callback());
    std::atomic<int> lost = 0;
    std::atomic<int> changes = 0;
    bridge->onInputLost([&] { ++lost; });
    bridge->onSetupChanged([&] { ++changes; });
    auto script = std::make_shared<MIDIClient>("Corvane Test Script", theirs);
    auto port = MIDIDevicePort::create(script, "Corvane Test", "Corvane Test", {});
    ASSERT_TRUE(port->isConnected());
    MainQueue::pumpFor(200ms);

    ASSERT_TRUE(fillInput(*port, reader)) << "the input never filled";
    MainQueue::pumpFor(100ms);
    changes = 0;
    reader.letGo();
    EXPECT_TRUE(MainQueue::pumpUntil([&] { return lost > 0 && changes > 0; }, 5s))
        << lost << " losses, " << changes << " set-up changes";
}

// The note-repeat thread may be a real-time one, and the allocator's locks do not inherit
// priority: a send that a full reader refused allocates nothing on the sending thread (the log
// hears of it from the main queue).
TEST_F(AlsaMIDIBackendTest, ASendAFullReaderRefusedAllocatesNothingOnTheSendingThread) {
    auto bridge = std::make_shared<MIDIClient>("Corvane Test Bridge", ours);
    HeldReader reader;
    VirtualMIDIPort control(bridge, "Corvane Test", 0x50464301, reader.callback());
    auto script = std::make_shared<MIDIClient>("Corvane Test Script", theirs);
    auto port = MIDIDevicePort::create(script, "Corvane Test", "Corvane Test", {});
    ASSERT_TRUE(port->isConnected());
    ASSERT_TRUE(fillInput(*port, reader)) << "the input never filled";

    // The log starts afresh on its summary of such refusals, as after a quiet second.
    Log::shared().flush();
    const Bytes more{0xB0, 1, 2};
    std::size_t allocations = 0;
    {
        ThreadWatch watch;
        EXPECT_EQ(port->send(more), MIDISendResult::receiverFull);
        allocations = watch.allocations();
    }
    EXPECT_EQ(allocations, 0u);
    reader.letGo();
    MainQueue::pumpFor(100ms);
}

TEST_F(AlsaMIDIBackendTest, SetUpChangesArriveCoalescedOnTheMainQueue) {
    auto watcher = std::make_shared<MIDIClient>("Corvane Test Watcher", theirs);
    std::atomic<int> changes = 0;
    watcher->onSetupChanged([&] { ++changes; });
    MainQueue::pumpFor(100ms);
    changes = 0;

    auto maker = std::make_shared<MIDIClient>("Corvane Test Maker", ours);
    std::vector<std::unique_ptr<VirtualMIDIPort>> ports;
    for (int i = 0; i < 20; ++i) {
        ports.push_back(
            std::make_unique<VirtualMIDIPort>(maker, "Corvane Test " + std::to_string(i), 1000 + 2 * i));
    }
    EXPECT_EQ(changes, 0);  // nothing runs before the main queue does
    ASSERT_TRUE(MainQueue::pumpUntil([&] { return changes > 0; }, 5s));
    MainQueue::pumpFor(200ms);
    EXPECT_LT(changes, 20);
    EXPECT_GE(MIDIEndpoints::sources(*theirs).size(), 20u);
}

TEST_F(AlsaMIDIBackendTest, ReleasedClientsHearNothingMore) {
    auto watcher = std::make_unique<MIDIClient>("Corvane Test Watcher", theirs);
    int changes = 0;
    watcher->onSetupChanged([&] { ++changes; });
    auto maker = std::make_shared<MIDIClient>("Corvane Test Maker", ours);
    VirtualMIDIPort port(maker, "Corvane Test Thing", 1000);
    watcher.reset();
    MainQueue::pumpFor(200ms);
    EXPECT_EQ(changes, 0);
}

}  // namespace
}  // namespace corvane
