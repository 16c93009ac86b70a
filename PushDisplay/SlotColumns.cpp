#include "PushDisplay/SlotColumns.h"

#include <cstddef>

#include "PushDisplay/ParameterColumn.h"
#include "PushDisplay/Slots.h"
#include "PushDisplay/Theme.h"

namespace corvane::SlotColumns {

bool isTouched(std::span<const bool> touched, int i) {
    return i >= 0 && static_cast<std::size_t>(i) < touched.size() && touched[static_cast<std::size_t>(i)];
}

void draw(Canvas& canvas, const RemoteState& state, std::span<const bool> touched) {
    canvas.fill({0, 62, Canvas::width, 1}, Theme::divider);
    for (int i = 0; i < Theme::columns; ++i) {
        ParameterColumn::draw(canvas, i, 64, Slots::column(state, i, isTouched(touched, i)));
    }
    for (int i = 1; i < Theme::columns; ++i) canvas.divider(i * Theme::columnWidth, 70, 152, Theme::divider);
}

}  // namespace corvane::SlotColumns
