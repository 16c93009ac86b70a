#pragma once
// The transient value overlay shown for a while after a control changes something.

#include <optional>
#include <string>
#include <utility>

#include "PushDisplay/Canvas.h"

namespace corvane {

struct Popup {
    Popup(std::string title, std::string value, std::optional<double> normalized = std::nullopt)
        : title(std::move(title)), value(std::move(value)), normalized(normalized) {}

    std::string title;  // what changed, e.g. a parameter name
    std::string value;  // the new value as text
    std::optional<double> normalized;  // 0...1 for the bar; absent draws no bar

    // Draws the overlay, centred, over whatever is on the canvas.
    void draw(Canvas& canvas) const;

    bool operator==(const Popup&) const = default;
};

}  // namespace corvane
