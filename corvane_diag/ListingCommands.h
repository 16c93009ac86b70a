#pragma once
// The read-only listings: the Ableton USB devices with their interfaces and endpoints, and the
// MIDI sources and destinations. Neither opens anything or waits.

#include <cstdint>
#include <string>
#include <vector>

#include "corvane_diag/DiagEnvironment.h"
#include "corvane_diag/USBListing.h"

namespace corvane {

int usbCommand(DiagEnvironment& environment);
int midiPortsCommand(DiagEnvironment& environment);

// The lines "usb" prints for these devices.
std::vector<std::string> usbListingLines(const std::vector<USBDeviceRecord>& devices);

// " (480 Mbps High-Speed)" and the like, from the speed code or else the link speed in bits per
// second; empty when neither names a speed.
std::string speedLabel(std::int64_t linkSpeed, std::int64_t speedCode);
// "AUDIO", "MIDI", … from an interface class code.
std::string classLabel(std::int64_t interfaceClass);
// "BULK", "INT", … from an endpoint's attributes.
std::string endpointTypeLabel(std::int64_t attributes);

}  // namespace corvane
