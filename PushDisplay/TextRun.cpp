#include "PushDisplay/TextRun.h"

namespace corvane::TextRun {

void drawRightAligned(Canvas& canvas, std::span<const ColoredText> texts, double right, double y, double height,
                      const Font& font, double gap) {
    for (auto item = texts.rbegin(); item != texts.rend(); ++item) {
        const double w = canvas.textWidth(item->text, font);
        canvas.text(item->text, {right - w, y, w + 1, height}, font, item->color, TextAlign::left);
        right -= w + gap;
    }
}

}  // namespace corvane::TextRun
