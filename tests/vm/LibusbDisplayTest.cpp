// The libusb display backend, the display and the display monitor against a real kernel's USB
// stack, with a gadget on the dummy controllers playing the Push 3 display.

#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <thread>

#include "PushDisplay/DisplayFormat.h"
#include "PushDisplay/PushFrame.h"
#include "hardware/LibusbBackend.h"
#include "hardware/USBDisplay.h"
#include "hardware/USBDisplayError.h"
#include "hardware/USBDisplayMonitor.h"
#include "platform/MainQueue.h"
#include "tests/vm/GadgetTest.h"

namespace corvane::vm {
namespace {

using namespace std::chrono_literals;

constexpr int push3 = DisplayFormat::push3ProductID;
const std::vector<std::uint8_t> header(DisplayFormat::header.begin(), DisplayFormat::header.end());

PushFrame patterned(unsigned seed) {
    PushFrame frame;
    for (std::size_t i = 0; i < frame.bytes.size(); ++i) {
        frame.bytes[i] = static_cast<std::uint8_t>(i * 13 + seed + i / 2048);
    }
    return frame;
}

class RealUSB : public GadgetTest {
protected:
    void SetUp() override {
        GadgetTest::SetUp();
        if (HasFatalFailure() || IsSkipped()) return;
        ASSERT_EQ(gadget->readAddress(), DisplayFormat::displayEndpoint);
    }

    // Both halves of one frame as the gadget read them.
    void expectFrame(const PushFrame& frame) {
        EXPECT_EQ(gadget->take(header.size()), header);
        EXPECT_TRUE(gadget->take(frame.bytes.size()) == frame.bytes) << "the pixel block arrived changed";
    }
};

using RealUSBDisplay = RealUSB;

TEST_F(RealUSBDisplay, TheBackendFindsTheDisplayAndOneOpenerClaimsIt) {
    LibusbBackend backend;
    ASSERT_EQ(backend.startError(), "");
    ASSERT_EQ(backend.devices(push3).size(), 1u);
    EXPECT_TRUE(backend.devices(DisplayFormat::push2ProductID).empty());

    auto display = USBDisplay::openFirst(backend);
    EXPECT_EQ(display->productID(), push3);
    try {
        USBDisplay::openFirst(backend);
        FAIL() << "the interface was claimed twice";
    } catch (const USBDisplayError& error) {
        EXPECT_TRUE(error.is<USBDisplayError::OpenFailed>()) << error.what();
    }
    display->close();
    EXPECT_NO_THROW(USBDisplay::openFirst(backend));
}

TEST_F(RealUSBDisplay, SendDeliversTheHeaderAndThePixelBlockExactly) {
    LibusbBackend backend;
    auto display = USBDisplay::openFirst(backend);
    for (unsigned seed : {1u, 2u, 3u}) {
        const auto frame = patterned(seed);
        const double seconds = display->send(frame);  // the sink's own 1 s per transfer
        EXPECT_GT(seconds, 0.0);
        expectFrame(frame);
    }
    EXPECT_EQ(gadget->available(), 0u);
}

TEST_F(RealUSBDisplay, AGadgetThatStopsReadingGivesATimeOutErrorNotAHang) {
    LibusbBackend backend;
    auto display = USBDisplay::openFirst(backend);
    gadget->stopReading();
    try {
        display->send(patterned(4), 0.3);
        FAIL() << "a transfer nobody read succeeded";
    } catch (const USBDisplayError& error) {
        ASSERT_TRUE(error.is<USBDisplayError::TransferFailed>()) << error.what();
        EXPECT_STREQ(error.what(), "Display transfer failed: Operation timed out");
    }

    gadget->startReading();
    const auto frame = patterned(5);
    display->send(frame);
    expectFrame(frame);
}

TEST_F(RealUSBDisplay, ClosingWaitsForTheTransferInProgress) {
    LibusbBackend backend;
    auto display = USBDisplay::openFirst(backend);
    gadget->stopReading();
    const auto frame = patterned(6);
    std::promise<void> started;
    auto sending = std::async(std::launch::async, [&] {
        started.set_value();
        try {
            display->send(frame, 2.0);
            return std::string("sent");
        } catch (const USBDisplayError& error) {
            return std::string(error.what());
        }
    });
    started.get_future().wait();
    std::this_thread::sleep_for(300ms);  // into the transfer, which hangs on the stalled endpoint
    const auto closing = std::chrono::steady_clock::now();
    display->close();
    // The transfer had most of its 2 s time-out to go: a close that returned sooner did not wait.
    EXPECT_GT(std::chrono::steady_clock::now() - closing, 1s);
    EXPECT_EQ(sending.get(), "Display transfer failed: Operation timed out");
    EXPECT_TRUE(display->isClosed());
    EXPECT_THROW(display->send(patterned(7)), USBDisplayError);
}

class RealUSBDisplayMonitor : public RealUSB {
protected:
    void SetUp() override {
        RealUSB::SetUp();
        if (HasFatalFailure() || IsSkipped()) return;
        monitor = std::make_unique<USBDisplayMonitor>(push3);
        monitor->onAttach = [this](const std::shared_ptr<USBDisplay>& display) {
            attached.push_back(display);
            events.push_back("attach");
        };
        monitor->onDetach = [this] { events.push_back("detach"); };
        monitor->onError = [this](const USBDisplayError& error) { events.push_back(error.what()); };
    }

    void TearDown() override {
        monitor.reset();
        MainQueue::pumpFor(10ms);
    }

    bool pumpUntilEvents(std::size_t count, std::chrono::milliseconds timeout = 10s) {
        return MainQueue::pumpUntil([&] { return events.size() >= count; }, timeout);
    }

    std::unique_ptr<USBDisplayMonitor> monitor;
    std::vector<std::shared_ptr<USBDisplay>> attached;
    std::vector<std::string> events;
};

TEST_F(RealUSBDisplayMonitor, ADisplayPresentAtStartOpensDuringStart) {
    monitor->start();
    ASSERT_EQ(events, std::vector<std::string>{"attach"});
    ASSERT_EQ(monitor->display(), attached.front());
    const auto frame = patterned(8);
    attached.front()->send(frame);
    expectFrame(frame);
    monitor->stop();
    EXPECT_EQ(events, (std::vector<std::string>{"attach", "detach"}));
    EXPECT_TRUE(attached.front()->isClosed());
}

TEST_F(RealUSBDisplayMonitor, UnbindingIsADetachAndBindingAgainAnAttach) {
    monitor->start();
    ASSERT_EQ(events, std::vector<std::string>{"attach"});

    gadget->unbind();
    ASSERT_TRUE(pumpUntilEvents(2)) << "no detach after the gadget left";
    EXPECT_EQ(events.back(), "detach");
    EXPECT_TRUE(attached.front()->isClosed());
    EXPECT_EQ(monitor->display(), nullptr);

    gadget->bind();
    ASSERT_TRUE(pumpUntilEvents(3)) << "no attach after the gadget came back";
    EXPECT_EQ(events, (std::vector<std::string>{"attach", "detach", "attach"}));
    ASSERT_EQ(attached.size(), 2u);
    EXPECT_NE(attached[1]->device(), attached[0]->device()) << "a device plugged in again has a new ID";
    MainQueue::pumpFor(300ms);
    EXPECT_EQ(events.size(), 3u) << "nothing more happens while the display stays";

    const auto frame = patterned(9);
    attached[1]->send(frame);
    expectFrame(frame);
}

TEST_F(RealUSBDisplayMonitor, UnpluggingDuringATransferFailsItAtOnceAndDetaches) {
    monitor->start();
    ASSERT_EQ(events, std::vector<std::string>{"attach"});
    auto display = attached.front();
    gadget->stopReading();
    const auto frame = patterned(12);
    std::promise<void> started;
    auto sending = std::async(std::launch::async, [&] {
        started.set_value();
        try {
            display->send(frame, 30.0);
            return std::string("sent");
        } catch (const USBDisplayError& error) {
            return std::string(error.what());
        }
    });
    started.get_future().wait();
    std::this_thread::sleep_for(300ms);

    gadget->unbind();
    // Far sooner than the time-out, which would stall the test run past its own limit.
    ASSERT_EQ(sending.wait_for(20s), std::future_status::ready) << "the transfer outlived its device";
    const auto result = sending.get();
    EXPECT_EQ(result.rfind("Display transfer failed: ", 0), 0u) << result;
    EXPECT_EQ(result.find("timed out"), std::string::npos) << result;

    ASSERT_TRUE(pumpUntilEvents(2)) << "no detach after the gadget left";
    EXPECT_EQ(events, (std::vector<std::string>{"attach", "detach"}));
    EXPECT_TRUE(display->isClosed());
}

TEST_F(RealUSBDisplayMonitor, AFailedTransferClosesTheDisplayAndAReopenFollows) {
    monitor->start();
    ASSERT_EQ(events, std::vector<std::string>{"attach"});
    gadget->stopReading();
    EXPECT_THROW(attached.front()->send(patterned(10), 0.3), USBDisplayError);
    gadget->startReading();

    monitor->transferFailed(attached.front());
    EXPECT_EQ(events, (std::vector<std::string>{"attach", "detach"}));
    ASSERT_TRUE(pumpUntilEvents(3, 5s)) << "no reopen after the retry delay";
    EXPECT_EQ(events.back(), "attach");
    ASSERT_EQ(attached.size(), 2u);
    EXPECT_EQ(attached[1]->device(), attached[0]->device()) << "the same device, still plugged in";

    const auto frame = patterned(11);
    attached[1]->send(frame);
    expectFrame(frame);
}

}  // namespace
}  // namespace corvane::vm
