#pragma once
// Where finished frames leave the display subsystem.

#include "PushDisplay/PushFrame.h"

namespace corvane {

class FrameSink {
public:
    FrameSink() = default;
    FrameSink(const FrameSink&) = delete;
    FrameSink& operator=(const FrameSink&) = delete;
    virtual ~FrameSink() = default;

    // Puts DisplayFormat::header and then frame.bytes on the wire, waits until the transfer is
    // done and returns the seconds it took. Throws (an exception derived from std::exception) on
    // failure, and throws FrameLengthError for a block of the wrong length before sending
    // anything (checkFrameLength). The scheduler calls it on one queue, one frame at a time.
    virtual double send(const PushFrame& frame) = 0;
};

}  // namespace corvane
