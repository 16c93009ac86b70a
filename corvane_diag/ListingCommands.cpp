#include "corvane_diag/ListingCommands.h"

#include "corvane_diag/CommandRun.h"
#include "corvane_diag/TextFormat.h"
#include "hardware/MIDIEndpoints.h"
#include "hardware/MIDIError.h"
#include "hardware/MIDIPortChoice.h"
#include "hardware/PushPortNames.h"

namespace corvane {

namespace {

using TextFormat::hex;
using TextFormat::join;

std::string decimal(std::int64_t value) { return std::to_string(value); }

std::string interfaceLine(const USBInterfaceRecord& interface) {
    std::vector<std::string> items;
    if (interface.number == 0) items.push_back("bridge: display ← EP0x01");
    if (interface.number == 6) items.push_back("bridge: xPort (unused by bridge)");
    std::string alternates = decimal(interface.alternateSetting) + " alt";
    if (interface.alternateSettingCount >= 1) alternates += "/" + decimal(interface.alternateSettingCount);
    items.push_back(alternates);
    if (interface.endpointCount >= 1) items.push_back(decimal(interface.endpointCount) + " EP");
    items.push_back(interface.driver.value_or("none"));
    if (interface.exclusiveOwner != "none") items.push_back("owner:" + interface.exclusiveOwner);
    return "  IF" + decimal(interface.number) + " " + classLabel(interface.interfaceClass) + " sub:0x" +
           hex(interface.subclass) + " proto:0x" + hex(interface.protocol) + " " +
           speedLabel(interface.linkSpeed, 0) + " iInterface:" + decimal(interface.stringIndex) +
           " conf:" + decimal(interface.configurationValue) + " " + interface.name + " [" +
           join(items, ", ") + "]";
}

// A MIDI endpoint's line, marked when it is the one the bridge binds as the Push.
std::string midiLine(const MIDIEndpointInfo& endpoint, const std::optional<MIDIEndpointInfo>& push) {
    std::string line = "  " + endpoint.description();
    if (push && push->ref == endpoint.ref) line += "  ← bridge: Push";
    return line;
}

std::string endpointLine(const USBEndpointRecord& endpoint) {
    return "    EP" + decimal(endpoint.address & 15) + " " + ((endpoint.address & 0x80) != 0 ? "IN" : "OUT") +
           " type:" + endpointTypeLabel(endpoint.attributes) + " maxpkt:" + decimal(endpoint.maxPacketSize) +
           " interval:" + decimal(endpoint.interval) + "ms";
}

}  // namespace

std::string speedLabel(std::int64_t linkSpeed, std::int64_t speedCode) {
    std::int64_t n = 0;
    if (speedCode >= 1) {
        n = speedCode;
    } else if (linkSpeed >= 1) {
        n = linkSpeed / 1'000'000;
    } else {
        return "";
    }
    switch (n) {
        case 1:
            return " (1.5 Mbps Low-Speed)";
        // 2 is the speed code of a full-speed link; 12 its rate in Mbit/s, which is all Linux tells.
        case 2:
        case 12:
            return " (12 Mbps Full-Speed)";
        case 480:
            return " (480 Mbps High-Speed)";
        case 5000:
            return " (5 Gbps SuperSpeed)";
        case 10000:
            return " (10 Gbps SuperSpeed+)";
        case 20000:
            return " (20 Gbps SuperSpeed+)";
        default:
            return "";
    }
}

std::string classLabel(std::int64_t interfaceClass) {
    switch (interfaceClass) {
        case 0:
            return "DEV";
        case 1:
            return "AUDIO";
        case 2:
            return "CDC";
        case 3:
            return "HID";
        case 5:
            return "PHYS";
        case 6:
            return "IMAGE";
        case 7:
            return "PRINTER";
        case 8:
            return "MASS";
        case 9:
            return "MIDI";
        case 11:
            return "SMARTCARD";
        case 13:
            return "SENSOR";
        case 14:
            return "AUDIOCTRL";
        case 220:
            return "CHAPERONE";
        case 239:
            return "COMPOSITE";
        case 255:
            return "VENDOR";
        default:
            return "0x" + hex(interfaceClass);
    }
}

std::string endpointTypeLabel(std::int64_t attributes) {
    switch (attributes) {
        case 0:
            return "CTRL";
        case 1:
            return "ISO";
        case 2:
            return "BULK";
        case 3:
            return "INT";
        case 4:
            return "ISO_SYNC";
        case 5:
            return "ISO_DATA";
        default:
            return "0x" + hex(attributes);
    }
}

std::vector<std::string> usbListingLines(const std::vector<USBDeviceRecord>& devices) {
    if (devices.empty()) return {"No Ableton USB device found."};
    std::vector<std::string> lines;
    for (const USBDeviceRecord& device : devices) {
        lines.push_back("● " + device.productName);
        lines.push_back("  VID:0x" + hex(device.vendorID) + "  PID:0x" + hex(device.productID) +
                        "  SN:" + device.serialNumber + "  bcdDevice:0x" + hex(device.deviceRelease));
        std::string usb = "  USB:bcd0x" + hex(device.usbRelease) +
                          speedLabel(device.linkSpeed, device.speedCode) + "  Class:0x" +
                          hex(device.deviceClass) + " sub:0x" + hex(device.deviceSubclass) +
                          "  Config:" + decimal(device.currentConfiguration) + "/" +
                          decimal(device.configurationCount) + "  Port:0x" + hex(device.location);
        if (device.powerState && *device.powerState >= 0) usb += "  PS:" + decimal(*device.powerState);
        lines.push_back(usb);
        lines.push_back("  Vendor:" + device.vendorName);
        for (const USBInterfaceRecord& interface : device.interfaces) {
            lines.push_back(interfaceLine(interface));
            if (interface.endpointCount < 1) continue;
            for (const USBEndpointRecord& endpoint : interface.endpoints)
                lines.push_back(endpointLine(endpoint));
        }
    }
    return lines;
}

int usbCommand(DiagEnvironment& environment) {
    auto run = CommandRun::create(environment);
    std::vector<USBDeviceRecord> devices;
    try {
        devices = environment.usbListing();
    } catch (const USBListingError& error) {
        run->print(std::string("error: ") + error.what());
        return 1;
    }
    for (const std::string& line : usbListingLines(devices)) run->print(line);
    return 0;
}

int midiPortsCommand(DiagEnvironment& environment) {
    auto run = CommandRun::create(environment);
    std::vector<MIDIEndpointInfo> sources;
    std::vector<MIDIEndpointInfo> destinations;
    try {
        sources = MIDIEndpoints::sources(*environment.midi);
        destinations = MIDIEndpoints::destinations(*environment.midi);
    } catch (const MIDIError& error) {
        run->print(std::string("error: ") + error.what());
        return 1;
    }
    const MIDIPortBinding push =
        MIDIPortChoice::choose(MIDIPortChoice::bothWays(PushPortNames::inOrder()), sources, destinations);
    run->print("Sources (apps read from these):");
    for (const MIDIEndpointInfo& source : sources) run->print(midiLine(source, push.source));
    run->print("Destinations (apps write to these):");
    for (const MIDIEndpointInfo& destination : destinations)
        run->print(midiLine(destination, push.destination));
    return 0;
}

}  // namespace corvane
