#include "PushDisplay/ControlMapScreen.h"

#include <cstddef>
#include <string>

#include "PushDisplay/Theme.h"

namespace corvane::ControlMapScreen {

void draw(Canvas& canvas, const ControlMapModel& model) {
    canvas.clear(Theme::background);
    const Font chipFont = canvas.font(12, FontWeight::semibold);
    const Font labelFont = canvas.font(13, FontWeight::semibold);
    const Font valueFont = canvas.font(20, FontWeight::bold, true);
    const Font deltaFont = canvas.font(11, FontWeight::regular, true);

    for (std::size_t c = 0; c < 8; ++c) {
        const double x = 120.0 * static_cast<double>(c);
        const std::string number = std::to_string(c + 1);
        const bool touched = model.encoderTouched[c];

        if (touched) canvas.fill({x + 1, 0, 118, 160}, Theme::accentDim);
        if (c > 0) canvas.divider(x, 24, 136, Theme::divider);

        canvas.chip("\u25B2 " + number, {x + 8, 3, 104, 18}, chipFont, model.upperPressed[c], Theme::solo,
                    Theme::textFaint, Theme::background, Theme::textDim);
        canvas.text("ENC " + number, {x, 26, 120, 16}, labelFont, touched ? Theme::text : Theme::textDim,
                    TextAlign::center);

        const int value = model.encoderValue[c];
        canvas.arc({x + 60, 80}, 27, value / 127.0, false, 4, touched ? Theme::text : Theme::accent,
                   Theme::divider);
        canvas.text(std::to_string(value), {x, 68, 120, 24}, valueFont, Theme::text, TextAlign::center);

        const int delta = model.encoderLastDelta[c];
        canvas.text((delta > 0 ? "+" : "") + std::to_string(delta), {x, 114, 120, 14}, deltaFont, Theme::textDim,
                    TextAlign::center);

        canvas.chip("\u25BC " + number, {x + 8, 139, 104, 18}, chipFont, model.lowerPressed[c], Theme::accent,
                    Theme::textFaint, Theme::background, Theme::textDim);
    }
}

}  // namespace corvane::ControlMapScreen
