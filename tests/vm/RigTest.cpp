// The test rig itself against the real kernel, with raw ALSA and libusb calls: the helper that
// plays the Push 3's MIDI port and the gadget that plays its display behave as the real device
// would, so the tests of Corvane's own classes can lean on them.

#include <libusb.h>

#include <atomic>
#include <optional>
#include <thread>

#include "tests/vm/DisplayGadget.h"
#include "tests/vm/GadgetTest.h"
#include "tests/vm/RealKernel.h"
#include "tests/vm/SequencerPeer.h"

namespace corvane::vm {
namespace {

using namespace std::chrono_literals;

std::vector<std::uint8_t> longSysex(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    bytes.front() = 0xF0;
    for (std::size_t i = 1; i + 1 < size; ++i) bytes[i] = static_cast<std::uint8_t>(i % 128);
    bytes.back() = 0xF7;
    return bytes;
}

class RigSequencer : public ::testing::Test {
protected:
    void SetUp() override { CORVANE_REQUIRE(sequencerMissing()); }
};

TEST_F(RigSequencer, PeerPortIsSeenByOtherClientsAsAReadableWritableSubscribablePort) {
    SequencerPeer push;
    const auto port = findSequencerPort(push3PortName);
    ASSERT_TRUE(port.has_value());
    EXPECT_EQ(port->address, push.address());
    EXPECT_EQ(port->clientName, "Ableton Push 3");
    const unsigned wanted = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ | SND_SEQ_PORT_CAP_WRITE |
                            SND_SEQ_PORT_CAP_SUBS_WRITE;
    EXPECT_EQ(port->capability & wanted, wanted);
}

TEST_F(RigSequencer, BytesTravelBothWaysThroughSubscriptions) {
    SequencerPeer push;
    SequencerPeer listener("Listener", "Listener Port");
    listener.connectFrom(*push.address());
    listener.connectTo(*push.address());

    std::vector<std::uint8_t> sent = {0x90, 36, 100, 0x90, 36, 0, 0xB0, 71, 5};
    const auto sysex = longSysex(1000);
    sent.insert(sent.end(), sysex.begin(), sysex.end());
    push.send(sent);
    EXPECT_EQ(listener.waitForReceived(sent.size()), sent);

    const std::vector<std::uint8_t> back = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7, 0xB0, 85, 127};
    listener.send(back);
    EXPECT_EQ(push.waitForReceived(back.size()), back);
}

// ALSA reuses the lowest free port number and drops subscriptions with the port: a port that
// comes back sits at the same address, unconnected.
TEST_F(RigSequencer, RemovedPortComesBackAtTheSameAddressWithoutItsSubscriptions) {
    SequencerPeer push;
    SequencerPeer listener("Listener", "Listener Port");
    const auto before = *push.address();
    listener.connectFrom(before);

    push.removePort();
    EXPECT_FALSE(findSequencerPort(push3PortName).has_value());
    push.addPort();
    ASSERT_TRUE(push.address().has_value());
    EXPECT_EQ(*push.address(), before);
    EXPECT_TRUE(findSequencerPort(push3PortName).has_value());

    push.send(std::vector<std::uint8_t>{0x90, 40, 1});
    EXPECT_TRUE(listener.waitForReceived(3, 300ms).empty());
}

struct LibusbContext {
    libusb_context* context = nullptr;
    LibusbContext() {
        if (libusb_init(&context) != 0) context = nullptr;
    }
    ~LibusbContext() { libusb_exit(context); }
};

struct OpenDisplay {
    libusb_device_handle* handle = nullptr;
    explicit OpenDisplay(libusb_context* context) {
        handle = libusb_open_device_with_vid_pid(context, push3VendorID, push3ProductID);
        if (handle != nullptr && libusb_claim_interface(handle, 0) != 0) {
            libusb_close(handle);
            handle = nullptr;
        }
    }
    ~OpenDisplay() {
        if (handle == nullptr) return;
        libusb_release_interface(handle, 0);
        libusb_close(handle);
    }
    int send(std::vector<std::uint8_t> bytes, unsigned timeoutMs, int* moved = nullptr) {
        int transferred = 0;
        const int result = libusb_bulk_transfer(handle, displayEndpoint, bytes.data(),
                                                static_cast<int>(bytes.size()), &transferred, timeoutMs);
        if (moved != nullptr) *moved = transferred;
        return result;
    }
};

const std::vector<std::uint8_t> frameHeader = {0xFF, 0xCC, 0xAA, 0x88, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr std::size_t blockSize = 327680;

std::vector<std::uint8_t> block(std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(blockSize);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + seed + i / 4096);
    return bytes;
}

class RigGadget : public GadgetTest {
protected:
    void SetUp() override {
        GadgetTest::SetUp();
        if (HasFatalFailure() || IsSkipped()) return;
        // Started only now: a context started before the gadget might not have taken in its
        // arrival yet, and would report it to a hot-plug callback later.
        usb.emplace();
        ASSERT_NE(usb->context, nullptr);
    }

    std::optional<LibusbContext> usb;
};

TEST_F(RigGadget, HostSeesAVendorInterfaceZeroWithBulkOutEndpoint01) {
    EXPECT_EQ(gadget->readAddress(), displayEndpoint);
    libusb_device** list = nullptr;
    const auto count = libusb_get_device_list(usb->context, &list);
    bool found = false;
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor device{};
        libusb_get_device_descriptor(list[i], &device);
        if (device.idVendor != push3VendorID || device.idProduct != push3ProductID) continue;
        found = true;
        libusb_config_descriptor* config = nullptr;
        ASSERT_EQ(libusb_get_active_config_descriptor(list[i], &config), 0);
        ASSERT_GE(config->bNumInterfaces, 1);
        const auto& interface = config->interface[0].altsetting[0];
        EXPECT_EQ(interface.bInterfaceNumber, 0);
        EXPECT_EQ(interface.bInterfaceClass, LIBUSB_CLASS_VENDOR_SPEC);
        bool bulkOut01 = false;
        for (int e = 0; e < interface.bNumEndpoints; ++e) {
            const auto& endpoint = interface.endpoint[e];
            bulkOut01 |= endpoint.bEndpointAddress == displayEndpoint &&
                         (endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) == LIBUSB_TRANSFER_TYPE_BULK;
        }
        EXPECT_TRUE(bulkOut01);
        libusb_free_config_descriptor(config);
    }
    libusb_free_device_list(list, 1);
    EXPECT_TRUE(found);
}

TEST_F(RigGadget, BulkTransfersDeliverHeaderAndBlockExactly) {
    OpenDisplay display(usb->context);
    ASSERT_NE(display.handle, nullptr);
    for (std::uint8_t seed : {std::uint8_t{1}, std::uint8_t{2}}) {
        int moved = 0;
        ASSERT_EQ(display.send(frameHeader, 2000, &moved), 0);
        EXPECT_EQ(moved, 16);
        ASSERT_EQ(display.send(block(seed), 5000, &moved), 0);
        EXPECT_EQ(moved, static_cast<int>(blockSize));
        EXPECT_EQ(gadget->take(frameHeader.size()), frameHeader);
        EXPECT_EQ(gadget->take(blockSize) == block(seed), true);
    }
    EXPECT_EQ(gadget->available(), 0u);
}

TEST_F(RigGadget, TransfersTimeOutWhileTheGadgetDoesNotReadAndRecoverAfterwards) {
    OpenDisplay display(usb->context);
    ASSERT_NE(display.handle, nullptr);
    gadget->stopReading();
    EXPECT_EQ(display.send(block(3), 300), LIBUSB_ERROR_TIMEOUT);

    gadget->startReading();
    gadget->take(gadget->available(), 200ms);
    ASSERT_EQ(display.send(frameHeader, 2000), 0);
    EXPECT_EQ(gadget->take(frameHeader.size()), frameHeader);
}

TEST_F(RigGadget, UnbindAndBindReachLibusbHotplugAsLeftAndArrived) {
    ASSERT_TRUE(libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG));
    struct Seen {
        std::atomic<int> arrived{0};
        std::atomic<int> left{0};
    } seen;
    auto callback = [](libusb_context*, libusb_device*, libusb_hotplug_event event, void* data) -> int {
        auto* seen = static_cast<Seen*>(data);
        (event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED ? seen->arrived : seen->left)++;
        return 0;
    };
    libusb_hotplug_callback_handle handle = 0;
    ASSERT_EQ(libusb_hotplug_register_callback(
                  usb->context,
                  static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED |
                                                    LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
                  static_cast<libusb_hotplug_flag>(0), push3VendorID, push3ProductID,
                  LIBUSB_HOTPLUG_MATCH_ANY, callback, &seen, &handle),
              0);
    const auto waitFor = [&](std::atomic<int>& counter) {
        for (auto until = std::chrono::steady_clock::now() + 10s;
             counter == 0 && std::chrono::steady_clock::now() < until;) {
            timeval tick{0, 50000};
            libusb_handle_events_timeout_completed(usb->context, &tick, nullptr);
        }
        return counter.load();
    };

    gadget->unbind();
    EXPECT_EQ(waitFor(seen.left), 1);
    EXPECT_EQ(seen.arrived, 0);
    gadget->bind();
    EXPECT_EQ(waitFor(seen.arrived), 1);
    EXPECT_TRUE(gadget->waitUntilEnabled());
    libusb_hotplug_deregister_callback(usb->context, handle);
}

}  // namespace
}  // namespace corvane::vm
