#pragma once
// Counters and timings of the display scheduler, all zero at start.

namespace corvane {

struct DisplayStats {
    int framesRendered = 0;     // renders done (draw and encode)
    int framesSent = 0;         // successful transfers, keep-alives included
    int keepAlivesSent = 0;     // successful keep-alive transfers
    int transferErrors = 0;     // failed transfers
    double lastRenderMs = 0;    // the last draw callback
    double lastEncodeMs = 0;    // the last frame allocation, bitmap flush and encode
    double lastTransferMs = 0;  // as the sink reported its last successful send
    double renderFPS = 0;       // renders per second over the last closed window of over 2 s

    bool operator==(const DisplayStats&) const = default;
};

}  // namespace corvane
