#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "hardware/USBDisplay.h"
#include "hardware/USBDisplayError.h"
#include "tests/support/SimulatedUSBDisplay.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

PushFrame patternFrame() {
    PushFrame frame;
    for (std::size_t i = 0; i < frame.bytes.size(); ++i)
        frame.bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return frame;
}

template <class Action>
std::string errorText(Action action) {
    try {
        action();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "(no error)";
}

TEST(USBDisplayError, DescriptionsAreExact) {
    EXPECT_STREQ(USBDisplayError::openFailed("Resource busy").what(),
                 "Could not open display interface: Resource busy");
    EXPECT_STREQ(USBDisplayError::transferFailed("Operation timed out").what(),
                 "Display transfer failed: Operation timed out");
    EXPECT_STREQ(USBDisplayError::shortTransfer(327680, 4096).what(),
                 "Short display transfer (4096/327680 bytes)");
    EXPECT_STREQ(USBDisplayError::notFound().what(), "Push display interface not found");
    EXPECT_STREQ(USBDisplayError::notOpen().what(), "Display interface not open");
    EXPECT_TRUE(USBDisplayError::shortTransfer(16, 3).is<USBDisplayError::ShortTransfer>());
    EXPECT_EQ(USBDisplayError::shortTransfer(16, 3).as<USBDisplayError::ShortTransfer>()->actual, 3);
}

class USBDisplayTest : public ::testing::Test {
protected:
    SimulatedUSBDisplay usb;
    USBDeviceID device = usb.plug();
    std::shared_ptr<USBDisplay> display =
        std::make_shared<USBDisplay>(usb, device, DisplayFormat::push3ProductID);
};

TEST_F(USBDisplayTest, SendsTheHeaderThenThePixelBlockWithTheFrameTimeOut) {
    PushFrame frame = patternFrame();
    double seconds = display->send(frame);
    EXPECT_GE(seconds, 0.0);

    auto transfers = usb.transfers();
    ASSERT_EQ(transfers.size(), 2u);
    EXPECT_EQ(transfers[0].timeout, 1.0);
    EXPECT_EQ(transfers[1].timeout, 1.0);
    ASSERT_EQ(usb.frameCount(), 1u);
    auto received = *usb.lastFrame();
    EXPECT_TRUE(received.headerIsValid());
    EXPECT_EQ(received.pixels, frame.bytes);
    EXPECT_EQ(received.device, device);

    display->send(frame, 0.25);
    EXPECT_EQ(usb.transfers().back().timeout, 0.25);
}

TEST_F(USBDisplayTest, AFrameOfTheWrongLengthSendsNothing) {
    PushFrame frame;
    frame.bytes.resize(1000);
    EXPECT_THROW(display->send(frame), FrameLengthError);
    EXPECT_TRUE(usb.transfers().empty());
}

TEST_F(USBDisplayTest, ClosingIsIdempotentAndSendingAfterwardsTouchesNothing) {
    display->close();
    display->close();
    EXPECT_TRUE(display->isClosed());
    EXPECT_EQ(usb.closes(), 1);
    EXPECT_EQ(errorText([&] { display->send(PushFrame()); }), "Display interface not open");
    EXPECT_TRUE(usb.transfers().empty());
    display.reset();
    EXPECT_EQ(usb.closes(), 1);
}

TEST_F(USBDisplayTest, ReleasingTheDisplayClosesIt) {
    display.reset();
    EXPECT_EQ(usb.closes(), 1);
    EXPECT_EQ(usb.openInterfaces(), 0);
}

TEST_F(USBDisplayTest, TransferFailuresCarryTheirTexts) {
    usb.shortenTransfers(4096, 1, SimulatedUSBDisplay::Transfer::pixels);
    EXPECT_EQ(errorText([&] { display->send(PushFrame()); }), "Short display transfer (4096/327680 bytes)");

    usb.shortenTransfers(3, 1, SimulatedUSBDisplay::Transfer::header);
    EXPECT_EQ(errorText([&] { display->send(PushFrame()); }), "Short display transfer (3/16 bytes)");

    usb.failTransfers("Operation timed out");
    EXPECT_EQ(errorText([&] { display->send(PushFrame()); }), "Display transfer failed: Operation timed out");

    usb.unplug(device);
    EXPECT_EQ(errorText([&] { display->send(PushFrame()); }),
              "Display transfer failed: No such device (it may have been disconnected)");
    EXPECT_EQ(usb.frameCount(), 0u);
}

TEST_F(USBDisplayTest, ClosingWaitsForATransferInProgress) {
    usb.holdTransfers();
    std::atomic<bool> sent = false;
    std::thread sender([&] {
        display->send(PushFrame());
        sent = true;
    });
    ASSERT_TRUE(usb.waitForHeldTransfer(2s));

    std::atomic<bool> closed = false;
    std::thread closer([&] {
        display->close();
        closed = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(closed);

    usb.releaseTransfers();
    sender.join();
    closer.join();
    EXPECT_TRUE(sent);
    EXPECT_TRUE(closed);
    EXPECT_EQ(usb.closesDuringTransfer(), 0);
    EXPECT_EQ(usb.frameCount(), 1u);
}

TEST(USBDisplayOpening, OpensTheFirstDisplayOfTheProduct) {
    SimulatedUSBDisplay usb;
    EXPECT_EQ(errorText([&] { USBDisplay::openFirst(usb); }), "Push display interface not found");

    usb.plug(DisplayFormat::push2ProductID);
    EXPECT_EQ(errorText([&] { USBDisplay::openFirst(usb); }), "Push display interface not found");

    USBDeviceID push3 = usb.plug();
    auto display = USBDisplay::openFirst(usb);
    EXPECT_EQ(display->device(), push3);
    EXPECT_EQ(display->productID(), 0x1969);

    usb.failOpens(USBDisplayError::openFailed("Access denied (insufficient permissions)"));
    EXPECT_EQ(errorText([&] { USBDisplay::openFirst(usb); }),
              "Could not open display interface: Access denied (insufficient permissions)");
}

}  // namespace
}  // namespace corvane
