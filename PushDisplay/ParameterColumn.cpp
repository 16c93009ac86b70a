#include "PushDisplay/ParameterColumn.h"

#include "PushDisplay/Theme.h"
#include "platform/Precondition.h"

namespace corvane::ParameterColumn {

void draw(Canvas& canvas, int index, double top, const ParameterColumnModel& model) {
    precondition(index >= 0 && index < Theme::columns, "parameter column outside 0-7");
    const double x = index * Theme::columnWidth;
    const double innerX = x + 8, innerWidth = Theme::columnWidth - 16;

    if (model.touched) {
        canvas.fillRounded({x + 2, top + 2, Theme::columnWidth - 4, 156 - top}, 6, Theme::accentDim);
        canvas.fill({x + 2, top + 2, Theme::columnWidth - 4, 3}, Theme::accent);
    }
    if (!model.enabled) return;

    if (!model.title.empty()) {
        canvas.text(model.title, {innerX, top + 8, innerWidth, 16}, canvas.font(13, FontWeight::semibold),
                    model.touched ? Theme::text : Theme::textDim, TextAlign::center);
    }
    if (!model.valueText.empty()) {
        canvas.text(model.valueText, {innerX, top + 28, innerWidth, 26},
                    canvas.font(model.touched ? 22 : 19, FontWeight::bold, true), Theme::text, TextAlign::center);
    }
    // The bar keeps its place above the bottom edge whatever the column's top.
    if (model.normalized) {
        canvas.bar({innerX, 142, innerWidth, 6}, *model.normalized, model.bipolar,
                   model.touched ? Theme::text : Theme::accent, Theme::divider);
    }
}

}  // namespace corvane::ParameterColumn
