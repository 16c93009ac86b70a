#pragma once
// How the bridge is asked to run: set from the command line, fixed for the bridge's life.

#include "PushDisplay/PixelOrder.h"

namespace corvane {

struct BridgeOptions {
    PixelOrder pixelOrder = PixelOrder::bgr565;
    double maxFPS = 30.0;
    // Seconds without a hello or heartbeat after which Cubase counts as gone. No option sets it;
    // tests shorten it.
    double heartbeatTimeout = 5.0;

    bool operator==(const BridgeOptions&) const = default;
};

}  // namespace corvane
