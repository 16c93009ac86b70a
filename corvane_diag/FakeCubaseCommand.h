#pragma once
// Plays the Cubase script's side of the bridge protocol against a running corvane-bridge: a tiny
// host (one selected track of five, its volume, the transport), a heartbeat, three controls, and
// every message the bridge sends printed. Runs until Ctrl-C.

#include <string>

#include "core/BridgeMessage.h"
#include "corvane_diag/DiagEnvironment.h"

namespace corvane {

int fakeCubaseCommand(DiagEnvironment& environment);

// The dB text of a normalized volume, 0.72 being 0 dB: "-∞ dB" at or below 0.001, else "%.1f dB".
std::string fakeCubaseVolumeText(double volume);

// The case name with its labelled values: "pushStatus(connected: true)", "requestResync".
std::string bridgeMessageText(const BridgeMessage& message);

}  // namespace corvane
