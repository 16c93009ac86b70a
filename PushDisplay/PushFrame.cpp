#include "PushDisplay/PushFrame.h"

#include <string>

namespace corvane {

FrameLengthError::FrameLengthError(std::size_t actual)
    : std::runtime_error("Display frame has " + std::to_string(actual) + " bytes instead of " +
                         std::to_string(DisplayFormat::frameBytes)),
      actual_(actual) {}

void checkFrameLength(const PushFrame& frame) {
    if (frame.bytes.size() != static_cast<std::size_t>(DisplayFormat::frameBytes)) {
        throw FrameLengthError(frame.bytes.size());
    }
}

}  // namespace corvane
