#include "PushDisplay/TrackPageScreen.h"

#include "PushDisplay/ButtonRow.h"
#include "PushDisplay/SlotColumns.h"
#include "PushDisplay/Theme.h"
#include "PushDisplay/TransportBadge.h"
#include "core/StateKeys.h"

namespace corvane::TrackPageScreen {

std::vector<ButtonLabel> upperLabels(const RemoteState& state) {
    namespace Field = StateKeys::ChannelField;
    auto label = [&](const char* text, std::uint8_t field, DisplayColor color) {
        return ButtonLabel(text, state.flag(StateKeys::selectedTrack(field)), color);
    };
    return {
        label("MUTE", Field::mute, Theme::mute),
        label("SOLO", Field::solo, Theme::solo),
        label("ARM", Field::recordArm, Theme::record),
        label("MONITOR", Field::monitor, Theme::mute),
        label("READ", Field::readAutomation, Theme::ok),
        label("WRITE", Field::writeAutomation, Theme::record),
        label("SETTINGS", Field::editorOpen, Theme::text),
        label("INSTRUMENT", Field::instrumentOpen, Theme::text),
    };
}

void draw(Canvas& canvas, const RemoteState& state, std::span<const bool> touched) {
    namespace Field = StateKeys::ChannelField;
    canvas.clear(Theme::background);
    ButtonRow::draw(canvas, upperLabels(state), true);

    if (const auto rgb = state.color(StateKeys::selectedTrack(Field::color))) {
        canvas.fillRounded({12, 26, 6, 28}, 3, DisplayColor(rgb->r, rgb->g, rgb->b));
    }
    const std::string name = state.string(StateKeys::selectedTrack(Field::name)).value_or("");
    canvas.text(name.empty() ? "No track selected" : name, {26, 22, 640, 36}, canvas.font(26, FontWeight::bold),
                name.empty() ? Theme::textFaint : Theme::text, TextAlign::left);
    TransportBadge::draw(canvas, state, 30);
    SlotColumns::draw(canvas, state, touched);
}

}  // namespace corvane::TrackPageScreen
