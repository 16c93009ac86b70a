#pragma once
// Short texts of their own colours set on one line, right-aligned: status badges.

#include <span>
#include <string_view>

#include "PushDisplay/Canvas.h"

namespace corvane {

struct ColoredText {
    std::string_view text;
    DisplayColor color;
};

namespace TextRun {

// Draws the texts in their order, the last ending at right, gap pixels between neighbours, each in
// the line of the given height starting at y.
void drawRightAligned(Canvas& canvas, std::span<const ColoredText> texts, double right, double y, double height,
                      const Font& font, double gap);

}  // namespace TextRun

}  // namespace corvane
