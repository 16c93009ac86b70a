#include "PushDisplay/MixScreen.h"

#include <string>
#include <vector>

#include "PushDisplay/ButtonRow.h"
#include "PushDisplay/SlotColumns.h"
#include "PushDisplay/Slots.h"
#include "PushDisplay/Theme.h"
#include "core/StateKeys.h"

namespace corvane::MixScreen {

namespace {

// The lower button of a channel, by the lower-row mode.
ButtonLabel lowerLabel(std::int64_t mode, bool selected, bool muted, bool soloed, bool armed) {
    switch (mode) {
        case 1: return {"MUTE", muted, Theme::mute};
        case 2: return {"SOLO", soloed, Theme::solo};
        case 3: return {"ARM", armed, Theme::record};
        default: return {selected ? "SELECTED" : "SELECT", selected, Theme::text};
    }
}

}  // namespace

void draw(Canvas& canvas, const RemoteState& state, std::span<const bool> touched) {
    namespace Field = StateKeys::ChannelField;
    using StateKeys::bankChannel;
    canvas.fill({0, 0, Canvas::width, Canvas::height}, Theme::background);
    const std::int64_t mixMode = state.number(StateKeys::Session::mixMode).value_or(0);
    const std::int64_t lowerMode = state.number(StateKeys::Session::lowerMode).value_or(0);

    std::vector<ButtonLabel> upper;
    for (std::size_t i = 0; i < tabs.size(); ++i) {
        upper.emplace_back(std::string(tabs[i]), static_cast<std::int64_t>(i) == mixMode, Theme::accent);
    }
    ButtonRow::draw(canvas, upper, true);

    const Font nameFont = canvas.font(13, FontWeight::semibold);
    const Font selectedNameFont = canvas.font(13, FontWeight::bold);
    const Font valueFont = canvas.font(17, FontWeight::bold, true);
    const Font touchedValueFont = canvas.font(20, FontWeight::bold, true);
    const Font titleFont = canvas.font(10, FontWeight::regular);
    const Font chipFont = canvas.font(10, FontWeight::bold);

    std::vector<ButtonLabel> lower;
    for (int i = 0; i < Theme::columns; ++i) {
        const double x = i * Theme::columnWidth;
        if (i >= 1) canvas.fill({x, 22, 1, 116}, Theme::divider);
        if (!state.flag(bankChannel(i, Field::exists))) {
            lower.push_back(ButtonLabel::none);
            continue;
        }
        const bool selected = state.flag(bankChannel(i, Field::selected));
        const bool isTouched = SlotColumns::isTouched(touched, i);

        if (isTouched || selected) {
            canvas.fillRounded({x + 2, 21, 116, 117}, 5, isTouched ? Theme::accentDim : Theme::panel);
        }
        const auto rgb = state.color(bankChannel(i, Field::color));
        canvas.fill({x + 6, 22, 108, 3}, rgb ? DisplayColor(rgb->r, rgb->g, rgb->b) : Theme::textDim);
        canvas.text(state.string(bankChannel(i, Field::name)).value_or(""), {x + 6, 26, 108, 18},
                    selected ? selectedNameFont : nameFont, selected ? Theme::text : Theme::textDim,
                    TextAlign::center);

        const ParameterColumnModel model = Slots::column(state, i, isTouched);
        canvas.text(model.valueText, {x + 4, 48, 102, 24}, isTouched ? touchedValueFont : valueFont, Theme::text,
                    TextAlign::center);
        // Slot titles name the send on the send tabs only.
        if (mixMode > 1 && !model.title.empty()) {
            canvas.text(model.title, {x + 4, 74, 102, 14}, titleFont, Theme::textFaint, TextAlign::center);
        }
        if (model.normalized) {
            canvas.bar({x + 8, 94, 94, 6}, *model.normalized, model.bipolar, isTouched ? Theme::text : Theme::accent,
                       Theme::divider);
        }
        canvas.meter({x + 108, 48, 5, 60}, state.normalized(bankChannel(i, Field::meter)).value_or(0), std::nullopt,
                     Theme::meter, Theme::meterHot, Theme::divider);

        const bool muted = state.flag(bankChannel(i, Field::mute));
        const bool soloed = state.flag(bankChannel(i, Field::solo));
        const bool armed = state.flag(bankChannel(i, Field::recordArm));
        const struct {
            const char* letter;
            bool on;
            DisplayColor color;
        } chips[] = {{"M", muted, Theme::mute}, {"S", soloed, Theme::solo}, {"R", armed, Theme::record}};
        for (int k = 0; k < 3; ++k) {
            canvas.chip(chips[k].letter, {x + 12 + 32 * k, 114, 26, 16}, chipFont, chips[k].on, chips[k].color,
                        Theme::divider, Theme::background, Theme::textFaint);
        }
        lower.push_back(lowerLabel(lowerMode, selected, muted, soloed, armed));
    }
    ButtonRow::draw(canvas, lower, false);
}

}  // namespace corvane::MixScreen
