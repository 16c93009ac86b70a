#pragma once
// Turns the canvas bitmap into a shaped pixel block for the display.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "PushDisplay/DisplayColor.h"
#include "PushDisplay/PixelOrder.h"
#include "PushDisplay/PushFrame.h"

namespace corvane {

struct FrameEncoder {
    PixelOrder pixelOrder = PixelOrder::bgr565;

    FrameEncoder() = default;
    explicit FrameEncoder(PixelOrder order) : pixelOrder(order) {}

    // bgra: 960 x 160 pixels of 4 bytes (blue, green, red, alpha; alpha is ignored), rows top
    // first, bytesPerRow apart; only the first 3,840 bytes of each row are read. Writes all of
    // frame.bytes in place, giving a block of another length the full length first.
    // Preconditions: bytesPerRow >= 3,840 and the buffer holds bytesPerRow x 160 bytes.
    void encode(std::span<const std::uint8_t> bgra, std::size_t bytesPerRow, PushFrame& frame) const;

    // The same block, built the plain per-pixel way; for checking encode, not for the frame path.
    std::vector<std::uint8_t> encodeReference(const std::function<DisplayColor(int x, int y)>& pixel) const;
};

}  // namespace corvane
