#pragma once
// Draws one of the bridge's screens from the demo session into a PNG file, with no hardware.

#include "corvane_diag/DiagEnvironment.h"

namespace corvane {

int renderPreviewCommand(DiagEnvironment& environment);

}  // namespace corvane
