#include <gtest/gtest.h>

#include "corvane_diag/ListingCommands.h"
#include "tests/diag/DiagHarness.h"

namespace corvane {
namespace {

using Lines = std::vector<std::string>;

USBDeviceRecord push3() {
    USBDeviceRecord device;
    device.productName = "Ableton Push 3";
    device.vendorID = 0x2982;
    device.productID = 0x1969;
    device.serialNumber = "P3X123";
    device.deviceRelease = 0x104;
    device.usbRelease = 0x200;
    device.linkSpeed = 480'000'000;
    device.deviceClass = 0xEF;
    device.deviceSubclass = 2;
    device.currentConfiguration = 1;
    device.configurationCount = 1;
    device.location = 0x03120000;
    device.vendorName = "Ableton AG";

    USBInterfaceRecord display;
    display.number = 0;
    display.interfaceClass = 255;
    display.alternateSettingCount = 1;
    display.endpointCount = 2;
    display.linkSpeed = 480'000'000;
    display.name = "Push 3 Display";
    display.stringIndex = 4;
    display.configurationValue = 1;
    display.exclusiveOwner = "corvane-bridge";
    display.endpoints = {{0x01, 2, 512, 0}, {0x81, 6, 64, 1}};
    device.interfaces.push_back(display);

    USBInterfaceRecord other;
    other.number = 3;
    other.interfaceClass = 10;
    other.subclass = 1;
    other.driver = "snd-usb-audio";
    device.interfaces.push_back(other);
    return device;
}

TEST(USBListingTest, DeviceInterfacesAndEndpointsReadAsDesigned) {
    EXPECT_EQ(
        usbListingLines({push3()}),
        (Lines{"● Ableton Push 3", "  VID:0x2982  PID:0x1969  SN:P3X123  bcdDevice:0x104",
               "  USB:bcd0x200 (480 Mbps High-Speed)  Class:0xef sub:0x2  Config:1/1  Port:0x3120000",
               "  Vendor:Ableton AG",
               "  IF0 VENDOR sub:0x0 proto:0x0  (480 Mbps High-Speed) iInterface:4 conf:1 Push 3 Display "
               "[bridge: display ← EP0x01, 0 alt/1, 2 EP, none, owner:corvane-bridge]",
               "    EP1 OUT type:BULK maxpkt:512 interval:0ms", "    EP1 IN type:0x6 maxpkt:64 interval:1ms",
               "  IF3 0xa sub:0x1 proto:0x0  iInterface:0 conf:0 ? [0 alt, snd-usb-audio]"}));
}

TEST(USBListingTest, PowerStateShowsOnlyWhenRead) {
    USBDeviceRecord device = push3();
    device.interfaces.clear();
    device.powerState = 4;
    const std::string line = usbListingLines({device}).at(2);
    EXPECT_TRUE(line.ends_with("Port:0x3120000  PS:4")) << line;
}

TEST(USBListingTest, SpeedComesFromTheCodeFirstThenTheLinkRate) {
    EXPECT_EQ(speedLabel(480'000'000, 2), " (12 Mbps Full-Speed)");
    EXPECT_EQ(speedLabel(480'000'000, 0), " (480 Mbps High-Speed)");
    EXPECT_EQ(speedLabel(12'000'000, 0), " (12 Mbps Full-Speed)");
    EXPECT_EQ(speedLabel(1'500'000, 0), " (1.5 Mbps Low-Speed)");
    EXPECT_EQ(speedLabel(5'000'000'000, 0), " (5 Gbps SuperSpeed)");
    EXPECT_EQ(speedLabel(0, 0), "");
    EXPECT_EQ(speedLabel(0, 3), "");
    EXPECT_EQ(classLabel(1), "AUDIO");
    EXPECT_EQ(classLabel(239), "COMPOSITE");
    EXPECT_EQ(endpointTypeLabel(3), "INT");
    EXPECT_EQ(endpointTypeLabel(-1), "0x-1");
}

TEST(USBListingTest, NoDeviceIsOneLine) {
    DiagHarness diag;
    EXPECT_EQ(diag.run({"usb"}), 0);
    EXPECT_EQ(diag.lines, (Lines{"No Ableton USB device found."}));
}

TEST(USBListingTest, AUSBSystemThatCannotBeAskedIsAnErrorNotSilence) {
    DiagHarness diag;
    diag.environment.usbListing = []() -> std::vector<USBDeviceRecord> {
        throw USBListingError("libusb could not start (Insufficient memory)");
    };
    EXPECT_EQ(diag.run({"usb"}), 1);
    EXPECT_EQ(diag.lines, (Lines{"error: libusb could not start (Insufficient memory)"}));
}

TEST(MIDIPortsTest, ListsSourcesThenDestinationsInTheSystemsOrder) {
    DiagHarness diag;
    diag.midi->addDevice("Ableton Push 3 Live Port", 1000);
    diag.midi->addSource(std::nullopt, 7, true);
    EXPECT_EQ(diag.run({"midi-ports"}), 0);
    EXPECT_EQ(
        diag.lines,
        (Lines{"Sources (apps read from these):", "  Ableton Push 3 Live Port [id 1000]  ← bridge: Push",
               "  ? [id 7] (offline)", "Destinations (apps write to these):",
               "  Ableton Push 3 Live Port [id 1001]  ← bridge: Push"}));
}

TEST(MIDIPortsTest, MarksThePortTheBridgeBindsAsThePushUnderEitherName) {
    DiagHarness diag;
    diag.midi->addDevice("Ableton Push 3 MIDI 2", 1000);
    diag.midi->addDevice("Ableton Push 3 MIDI 1", 1010);
    EXPECT_EQ(diag.run({"midi-ports"}), 0);
    EXPECT_EQ(diag.lines, (Lines{"Sources (apps read from these):", "  Ableton Push 3 MIDI 2 [id 1000]",
                                 "  Ableton Push 3 MIDI 1 [id 1010]  ← bridge: Push",
                                 "Destinations (apps write to these):", "  Ableton Push 3 MIDI 2 [id 1001]",
                                 "  Ableton Push 3 MIDI 1 [id 1011]  ← bridge: Push"}));

    // The Live Port's own name wins; a port whose other half is missing is not bound.
    diag.lines.clear();
    diag.midi->addDevice("Ableton Push 3 Live Port", 1020);
    diag.midi->addSource("Ableton Push 3 Live Port", 1030);
    EXPECT_EQ(diag.run({"midi-ports"}), 0);
    EXPECT_EQ(
        diag.linesFrom("  Ableton Push 3 MIDI 1 [id 1010]"),
        (Lines{"  Ableton Push 3 MIDI 1 [id 1010]", "  Ableton Push 3 Live Port [id 1020]  ← bridge: Push",
               "  Ableton Push 3 Live Port [id 1030]",
               "Destinations (apps write to these):", "  Ableton Push 3 MIDI 2 [id 1001]",
               "  Ableton Push 3 MIDI 1 [id 1011]", "  Ableton Push 3 Live Port [id 1021]  ← bridge: Push"}));
}

TEST(MIDIPortsTest, WithoutASequencerItFailsAsTheOtherMIDICommandsDo) {
    DiagHarness diag;
    diag.midi->makeUnreachable();
    EXPECT_EQ(diag.run({"identity"}), 1);
    ASSERT_EQ(diag.lines.size(), 1u);
    const std::string clientFailure = diag.lines[0];
    EXPECT_TRUE(clientFailure.starts_with("error: MIDIClientCreate failed")) << clientFailure;
    diag.lines.clear();
    EXPECT_EQ(diag.run({"midi-ports"}), 1);
    EXPECT_EQ(diag.lines, (Lines{clientFailure}));
}

}  // namespace
}  // namespace corvane
