#include "PushDisplay/Popup.h"

#include "PushDisplay/Theme.h"

namespace corvane {

void Popup::draw(Canvas& canvas) const {
    constexpr Rect panel{330, 34, 300, 92};
    // A dark margin keeps the popup apart from the screen below it.
    canvas.fillRounded(panel.insetBy(-2, -2), 12, Theme::background);
    canvas.fillRounded(panel, 10, Theme::panel);
    canvas.strokeRounded(panel, 10, 1, Theme::accent);
    if (!title.empty()) {
        canvas.text(title, {330, 42, 300, 18}, canvas.font(13, FontWeight::bold), Theme::accent, TextAlign::center);
    }
    if (!value.empty()) {
        canvas.text(value, {330, 62, 300, 34}, canvas.font(28, FontWeight::bold, true), Theme::text,
                    TextAlign::center);
    }
    if (normalized) canvas.bar({354, 106, 252, 6}, *normalized, false, Theme::accent, Theme::divider);
}

}  // namespace corvane
