#include "PushDisplay/DeviceScreen.h"

#include <string>

#include "PushDisplay/ButtonRow.h"
#include "PushDisplay/SlotColumns.h"
#include "PushDisplay/Theme.h"
#include "core/StateKeys.h"

namespace corvane::DeviceScreen {

namespace {

enum Mode : std::int64_t { instrument = 0, inserts = 1, quickControls = 2 };

std::int64_t deviceMode(const RemoteState& state) {
    return state.number(StateKeys::Session::deviceMode).value_or(instrument);
}

}  // namespace

std::vector<ButtonLabel> upperLabels(const RemoteState& state) {
    const std::int64_t mode = deviceMode(state);
    const bool slots = mode == inserts;
    return {
        {"INSTRUMENT", mode == instrument, Theme::accent},
        {"INSERTS", mode == inserts, Theme::accent},
        {"QUICK CTRL", mode == quickControls, Theme::accent},
        {"", false, Theme::accent},
        {"", false, Theme::accent},
        {"", false, Theme::accent},
        {slots ? "\u25C0 SLOT" : "", false, Theme::accent},
        {slots ? "SLOT \u25B6" : "", false, Theme::accent},
    };
}

void draw(Canvas& canvas, const RemoteState& state, std::span<const bool> touched) {
    const std::int64_t mode = deviceMode(state);
    canvas.fill({0, 0, Canvas::width, Canvas::height}, Theme::background);
    ButtonRow::draw(canvas, upperLabels(state), true);

    std::string title = state.string(StateKeys::Device::name).value_or("");
    if (mode == quickControls) title = "Quick Controls";
    if (title.empty()) title = mode == inserts ? "No insert plug-in" : "No instrument";
    canvas.text(title, {14, 22, 560, 32}, canvas.font(24, FontWeight::bold), Theme::text, TextAlign::left);

    std::string subtitle = state.string(StateKeys::selectedTrack(StateKeys::ChannelField::name)).value_or("");
    const std::string bank = state.string(StateKeys::Device::bankTitle).value_or("");
    if (!bank.empty() && mode != quickControls) subtitle += "  \u00B7  " + bank;
    canvas.text(subtitle, {600, 28, 346, 20}, canvas.font(13, FontWeight::regular), Theme::textDim, TextAlign::right);

    SlotColumns::draw(canvas, state, touched);
}

}  // namespace corvane::DeviceScreen
