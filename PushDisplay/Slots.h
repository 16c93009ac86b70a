#pragma once
// The host's eight parameter slots, read for the parameter columns.

#include <string>

#include "PushDisplay/ParameterColumnModel.h"
#include "core/RemoteState.h"

namespace corvane::Slots {

// Slot i (0...7; anything else stops the program). A slot with no title, no value text and no
// value is empty: disabled, not bipolar, keeping only the touch flag.
ParameterColumnModel column(const RemoteState& state, int i, bool touched);

// What slot i's parameter belongs to; empty when absent or not a text. i must lie in 0...7.
std::string owner(const RemoteState& state, int i);

}  // namespace corvane::Slots
