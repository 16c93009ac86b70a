// The libusb backend against the machine's real USB. Tests that need a Push 3 display (or a
// gadget posing as one) skip, saying why, where there is none.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "hardware/LibusbBackend.h"
#include "hardware/USBDisplay.h"
#include "hardware/USBDisplayError.h"
#include "hardware/USBDisplayMonitor.h"
#include "platform/MainQueue.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;

constexpr int push3 = DisplayFormat::push3ProductID;

bool machineHasUSB() { return std::filesystem::exists("/dev/bus/usb"); }

#define SKIP_WITHOUT_A_DISPLAY(backend)                                                        \
    do {                                                                                       \
        if (!machineHasUSB()) GTEST_SKIP() << "no USB on this machine (/dev/bus/usb missing)"; \
        if (!(backend).startError().empty()) GTEST_SKIP() << (backend).startError();           \
        if ((backend).devices(push3).empty()) GTEST_SKIP() << "no Push 3 display plugged in";  \
    } while (false)

TEST(LibusbBackend, StartsOrSaysWhyNot) {
    LibusbBackend backend;
    if (!backend.startError().empty()) {
        EXPECT_TRUE(backend.devices(push3).empty());
        try {
            backend.watch(push3, {});
            FAIL() << "watching without libusb";
        } catch (const USBDisplayError& error) {
            EXPECT_TRUE(error.is<USBDisplayError::Unavailable>());
            EXPECT_EQ(std::string(error.what()), "USB display unavailable: " + backend.startError());
        }
    }
}

TEST(LibusbBackend, AnAbsentDeviceIsNotFound) {
    LibusbBackend backend;
    try {
        backend.open(USBDeviceID{0xFFFF}, push3);  // bus 255, address 255: never assigned
        FAIL() << "opened a device that does not exist";
    } catch (const USBDisplayError& error) {
        EXPECT_STREQ(error.what(), "Push display interface not found");
    }
}

TEST(LibusbBackend, WatchingStartsAndStopsItsEventThread) {
    LibusbBackend backend;
    if (!backend.startError().empty()) GTEST_SKIP() << backend.startError();
    for (int i = 0; i < 3; ++i) {
        std::unique_ptr<USBWatch> watch;
        try {
            watch = backend.watch(push3, {});
        } catch (const USBDisplayError& error) {
            GTEST_SKIP() << error.what();
        }
        ASSERT_TRUE(watch);
    }
}

TEST(LibusbBackend, AMonitorWithoutADisplayStaysQuietOrReportsOnce) {
    USBDisplayMonitor monitor(push3);
    int attaches = 0;
    std::vector<std::string> errors;
    monitor.onAttach = [&](const std::shared_ptr<USBDisplay>&) { ++attaches; };
    monitor.onError = [&](const USBDisplayError& error) { errors.push_back(error.what()); };
    monitor.start();
    MainQueue::pumpFor(50ms);
    monitor.stop();
    EXPECT_LE(errors.size(), 1u);
    LibusbBackend probe;
    if (probe.devices(push3).empty()) {
        EXPECT_EQ(attaches, 0);
    }
}

TEST(LibusbBackend, OpensThePresentDisplayAndSendsFrames) {
    LibusbBackend backend;
    SKIP_WITHOUT_A_DISPLAY(backend);
    auto display = USBDisplay::openFirst(backend);
    EXPECT_EQ(display->productID(), push3);

    PushFrame frame;
    for (std::size_t i = 0; i < frame.bytes.size(); ++i) frame.bytes[i] = static_cast<std::uint8_t>(i);
    double seconds = display->send(frame);
    EXPECT_GE(seconds, 0.0);
    EXPECT_LT(seconds, 2.0);
    display->send(frame);

    display->close();
    display->close();
    EXPECT_THROW(display->send(frame), USBDisplayError);
}

TEST(LibusbBackend, ADisplayIsClaimedByOneOpenerAtATime) {
    LibusbBackend backend;
    SKIP_WITHOUT_A_DISPLAY(backend);
    auto first = USBDisplay::openFirst(backend);
    try {
        USBDisplay::openFirst(backend);
        FAIL() << "the interface was claimed twice";
    } catch (const USBDisplayError& error) {
        EXPECT_TRUE(error.is<USBDisplayError::OpenFailed>()) << error.what();
    }
    first->close();
    EXPECT_NO_THROW(USBDisplay::openFirst(backend));
}

TEST(LibusbBackend, TheMonitorOpensAPresentDisplayDuringStart) {
    LibusbBackend probe;
    SKIP_WITHOUT_A_DISPLAY(probe);
    USBDisplayMonitor monitor(push3);
    std::shared_ptr<USBDisplay> attached;
    monitor.onAttach = [&](const std::shared_ptr<USBDisplay>& display) { attached = display; };
    monitor.start();
    ASSERT_TRUE(attached);
    EXPECT_NO_THROW(attached->send(PushFrame()));
    monitor.stop();
    EXPECT_TRUE(attached->isClosed());
}

}  // namespace
}  // namespace corvane
