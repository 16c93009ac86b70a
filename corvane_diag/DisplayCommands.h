#pragma once
// Drives the display directly over USB, without the scheduler or MIDI: colour bars for a fixed
// time at a fixed rate, and a sweep through frame rates to find how often the display needs a
// frame. Both run on the main thread without a run loop.

#include <string>
#include <vector>

#include "corvane_diag/DiagEnvironment.h"

namespace corvane {

int displayTestCommand(DiagEnvironment& environment);
int displaySweepCommand(DiagEnvironment& environment);

// The "--rates" list: comma-separated, empty items skipped, items that are not numbers dropped.
std::vector<double> parseRates(const std::string& text);

}  // namespace corvane
