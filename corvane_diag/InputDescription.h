#pragma once
// One line of text for a decoded Push control, as the monitor prints it. Indices, rows and
// columns count from 1.

#include <string>

#include "core/PushInput.h"

namespace corvane {

std::string describe(const PushInput& input);

}  // namespace corvane
