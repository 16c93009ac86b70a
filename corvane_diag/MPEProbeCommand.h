#pragma once
// Finds out how the pads behave in MPE mode: reads the aftertouch mode, switches to MPE unless
// it is already on, counts what arrives on each channel for a window that starts with the first
// message heard, writes the player's mode back, checks it, and prints a summary and a verdict.

#include "corvane_diag/DiagEnvironment.h"

namespace corvane {

int mpeProbeCommand(DiagEnvironment& environment, double seconds);

}  // namespace corvane
