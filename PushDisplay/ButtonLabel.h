#pragma once
// The label of one button above or below the display.

#include <string>
#include <utility>

#include "PushDisplay/DisplayColor.h"
#include "PushDisplay/Theme.h"

namespace corvane {

struct ButtonLabel {
    ButtonLabel() = default;  // a blank cell
    ButtonLabel(std::string text, bool active, DisplayColor color)
        : text(std::move(text)), active(active), color(color) {}

    std::string text;  // empty leaves the cell blank
    bool active = false;  // drawn as a filled, lit cell
    DisplayColor color = Theme::accent;  // the fill of an active cell only

    // A blank cell.
    static const ButtonLabel none;

    bool operator==(const ButtonLabel&) const = default;
};

inline const ButtonLabel ButtonLabel::none{"", false, Theme::accent};

}  // namespace corvane
