#include "PushDisplay/StatusScreen.h"

#include <algorithm>
#include <cstddef>

#include "PushDisplay/Theme.h"

namespace corvane::StatusScreen {

void draw(Canvas& canvas, const StatusModel& model) {
    canvas.fill({0, 0, 960, 160}, Theme::background);

    canvas.text("CORVANE", {24, 18, 600, 34}, canvas.font(30, FontWeight::bold), Theme::text, TextAlign::left);

    const DisplayColor statusColor = model.statusColor();
    canvas.statusDot({32, 74}, 6, statusColor);
    canvas.text(model.statusText(), {46, 62, 520, 24}, canvas.font(20, FontWeight::semibold), statusColor,
                TextAlign::left);

    const Font small = canvas.font(13);
    canvas.text(model.infoLine(), {24, 94, 560, 18}, small, Theme::textDim, TextAlign::left);
    if (!model.cubaseConnected && !model.protocolProblem) {
        canvas.text("Enable the \"Tessaly\" MIDI Remote in Cubase", {24, 124, 560, 18}, small, Theme::textFaint,
                    TextAlign::left);
    }

    canvas.fillRounded({600, 10, 350, 140}, 8, Theme::panel);
    const Font fixed = canvas.font(11, FontWeight::regular, false, true);
    const std::size_t lines = std::min<std::size_t>(model.diagnostics.size(), 8);
    for (std::size_t i = 0; i < lines; ++i) {
        canvas.text(model.diagnostics[i], {612, 18 + 16.0 * static_cast<double>(i), 326, 16}, fixed,
                    Theme::textDim, TextAlign::left);
    }
}

}  // namespace corvane::StatusScreen
