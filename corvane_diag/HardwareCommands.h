#pragma once
// The commands that ask the Push over its Live Port and print what it answers, and the monitor
// of everything it sends. Each returns the exit status.

#include <cstdint>
#include <string>
#include <vector>

#include "core/PushSysEx.h"
#include "corvane_diag/DiagEnvironment.h"

namespace corvane {

int identityCommand(DiagEnvironment& environment);
int paletteCommand(DiagEnvironment& environment, const std::vector<int>& indices);
int aftertouchCommand(DiagEnvironment& environment);
int paletteTestCommand(DiagEnvironment& environment, std::uint8_t index);
int midiMonitorCommand(DiagEnvironment& environment, bool raw);

// "channel pressure", "polyphonic aftertouch", "MPE", or "unknown".
std::string aftertouchModeName(std::uint8_t mode);

// "PaletteEntry(index: 94, red: 255, green: 0, blue: 255, white: 64)".
std::string paletteEntryText(const PushSysEx::PaletteEntry& entry);

}  // namespace corvane
