#include "PushDisplay/ButtonRow.h"

#include <algorithm>

#include "PushDisplay/Theme.h"

namespace corvane::ButtonRow {

void draw(Canvas& canvas, std::span<const ButtonLabel> labels, bool top) {
    const double y = top ? 1 : 141;
    const Font font = canvas.font(11, FontWeight::bold);
    const std::size_t count = std::min<std::size_t>(labels.size(), Theme::columns);
    for (std::size_t i = 0; i < count; ++i) {
        const ButtonLabel& label = labels[i];
        if (label.text.empty()) continue;
        const Rect cell{static_cast<double>(i) * Theme::columnWidth + 6, y, Theme::columnWidth - 12, height};
        if (label.active) canvas.fillRounded(cell, 4, label.color);
        canvas.text(label.text, cell, font, label.active ? Theme::background : Theme::textDim, TextAlign::center);
    }
}

}  // namespace corvane::ButtonRow
