#include "PushDisplay/TransportBadge.h"

#include <string>
#include <vector>

#include "PushDisplay/Theme.h"
#include "core/StateKeys.h"

namespace corvane::TransportBadge {

void draw(Canvas& canvas, const RemoteState& state, double y) {
    namespace Transport = StateKeys::Transport;
    struct Part {
        std::string text;
        DisplayColor color;
    };
    std::vector<Part> parts;
    if (auto tempo = state.string(Transport::tempoText); tempo && !tempo->empty()) {
        parts.push_back({std::move(*tempo), Theme::textDim});
    }
    if (state.flag(Transport::cycle)) parts.push_back({"\u27F2", Theme::accent});
    if (state.flag(Transport::recording)) parts.push_back({"\u25CF REC", Theme::record});
    if (state.flag(Transport::playing)) {
        parts.push_back({"\u25B6", Theme::ok});
    } else {
        parts.push_back({"\u25A0", Theme::textFaint});
    }

    const Font font = canvas.font(13, FontWeight::bold);
    double x = 946;
    for (auto part = parts.rbegin(); part != parts.rend(); ++part) {
        const double w = canvas.textWidth(part->text, font);
        canvas.text(part->text, {x - w, y, w + 1, 18}, font, part->color, TextAlign::left);
        x -= w + 14;
    }
}

}  // namespace corvane::TransportBadge
