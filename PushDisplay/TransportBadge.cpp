#include "PushDisplay/TransportBadge.h"

#include <cstddef>
#include <string>

#include "PushDisplay/TextRun.h"
#include "PushDisplay/Theme.h"
#include "core/StateKeys.h"

namespace corvane::TransportBadge {

void draw(Canvas& canvas, const RemoteState& state, double y) {
    namespace Transport = StateKeys::Transport;
    const std::string tempo = state.string(Transport::tempoText).value_or("");
    ColoredText segments[4];
    std::size_t count = 0;
    if (!tempo.empty()) segments[count++] = {tempo, Theme::textDim};
    if (state.flag(Transport::cycle)) segments[count++] = {"\u27F2", Theme::accent};
    if (state.flag(Transport::recording)) segments[count++] = {"\u25CF REC", Theme::record};
    if (state.flag(Transport::playing)) {
        segments[count++] = {"\u25B6", Theme::ok};
    } else {
        segments[count++] = {"\u25A0", Theme::textFaint};
    }
    TextRun::drawRightAligned(canvas, std::span(segments, count), 946, y, 18, canvas.font(13, FontWeight::bold), 14);
}

}  // namespace corvane::TransportBadge
