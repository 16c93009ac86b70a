#pragma once
// The scale page: the pad settings, what the sixteen display buttons do on this page, and the
// scales as a scrolling grid of names on the right, the chosen one lit.

#include <vector>

#include "PushDisplay/ButtonLabel.h"
#include "PushDisplay/Canvas.h"
#include "core/PadSettings.h"

namespace corvane::ScaleScreen {

// settings must be valid: root 0...11, scaleIndex inside the scale table.
void draw(Canvas& canvas, const PadSettings& settings);

// Layout, the six upper roots, fixed mode: eight labels.
std::vector<ButtonLabel> upperLabels(const PadSettings& settings);
// In key or chromatic, the six lower roots, a blank cell: eight labels.
std::vector<ButtonLabel> lowerLabels(const PadSettings& settings);
// The first of the five groups of four scales that the grid shows, keeping the chosen scale's
// group in the middle column where it can.
int firstVisibleGroup(int scaleIndex);
// "In Key · 4ths ↑ · C1–C5", or "4×4 blocks · C1–E♭6" for drums.
std::string informationLine(const PadSettings& settings);

}  // namespace corvane::ScaleScreen
