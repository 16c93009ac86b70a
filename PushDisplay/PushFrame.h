#pragma once
// One encoded pixel block of the display, already shaped, without the header.

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "PushDisplay/DisplayFormat.h"

namespace corvane {

struct PushFrame {
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(DisplayFormat::frameBytes);

    // Nothing splits a frame into chunks; the display takes the block as one transfer.
    static constexpr int chunkCount() { return DisplayFormat::frameBytes / DisplayFormat::chunkBytes; }

    bool operator==(const PushFrame&) const = default;
};

// A block of another length would put a torn picture on the wire, or be read past its end.
class FrameLengthError : public std::runtime_error {
public:
    explicit FrameLengthError(std::size_t actual);
    std::size_t actual() const { return actual_; }

private:
    std::size_t actual_;
};

// Every sink calls this before it sends: throws FrameLengthError unless the block holds exactly
// DisplayFormat::frameBytes bytes.
void checkFrameLength(const PushFrame& frame);

}  // namespace corvane
