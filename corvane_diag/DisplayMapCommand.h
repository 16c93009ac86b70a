#pragma once
// The interactive check that the controls and the display line up: the control map page on the
// display, through the same scheduler and monitor as the bridge, reacting to the encoders and
// the display buttons; pads and display buttons light while pressed. Runs until Ctrl-C.

#include "corvane_diag/DiagEnvironment.h"

namespace corvane {

int displayMapCommand(DiagEnvironment& environment);

}  // namespace corvane
