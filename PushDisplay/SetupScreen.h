#pragma once
// The on-device setup page: four tabs on the buttons above the display, the open tab's page, and
// that page's choices on the buttons below. The diagnostics tab reads the status model.

#include <array>
#include <vector>

#include "PushDisplay/ButtonLabel.h"
#include "PushDisplay/Canvas.h"
#include "PushDisplay/ParameterColumnModel.h"
#include "PushDisplay/StatusModel.h"
#include "core/SetupState.h"

namespace corvane::SetupScreen {

void draw(Canvas& canvas, const SetupState& setup, const StatusModel& status);

// The four tab names, the open one active, then blank cells: eight labels.
std::vector<ButtonLabel> upperLabels(const SetupState& setup);
// The open tab's choices, the current one active: eight labels.
std::vector<ButtonLabel> lowerLabels(const SetupState& setup);
// The display tab's two columns: display and LED brightness as whole percentages, "—" and no
// bar while unknown.
std::array<ParameterColumnModel, 2> brightnessColumns(const SetupState& setup);

}  // namespace corvane::SetupScreen
