#include "PushDisplay/TransportBadge.h"

#include <string>
#include <vector>

#include "PushDisplay/Theme.h"
#include "core/StateKeys.h"

namespace corvane::TransportBadge {

void draw(Canvas& canvas, const RemoteState& state, double y) {
    namespace Transport = StateKeys::Transport;
    struct Segment {
        std::string text;
        DisplayColor color;
    };
    std::vector<Segment> segments;
    if (auto tempo = state.string(Transport::tempoText); tempo && !tempo->empty()) {
        segments.push_back({std::move(*tempo), Theme::textDim});
    }
    if (state.flag(Transport::cycle)) segments.push_back({"\u27F2", Theme::accent});
    if (state.flag(Transport::recording)) segments.push_back({"\u25CF REC", Theme::record});
    if (state.flag(Transport::playing)) {
        segments.push_back({"\u25B6", Theme::ok});
    } else {
        segments.push_back({"\u25A0", Theme::textFaint});
    }

    const Font font = canvas.font(13, FontWeight::bold);
    double x = 946;
    for (auto segment = segments.rbegin(); segment != segments.rend(); ++segment) {
        const double w = canvas.textWidth(segment->text, font);
        canvas.text(segment->text, {x - w, y, w + 1, 18}, font, segment->color, TextAlign::left);
        x -= w + 14;
    }
}

}  // namespace corvane::TransportBadge
