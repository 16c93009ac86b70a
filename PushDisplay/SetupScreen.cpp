#include "PushDisplay/SetupScreen.h"

#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "PushDisplay/ButtonRow.h"
#include "PushDisplay/Capitals.h"
#include "PushDisplay/ParameterColumn.h"
#include "PushDisplay/Theme.h"

namespace corvane::SetupScreen {

namespace {

constexpr std::string_view emDash = "\u2014";

void heading(Canvas& canvas, std::string_view text, double x, double width) {
    canvas.text(text, {x, 26, width, 16}, canvas.font(12, FontWeight::bold), Theme::accent, TextAlign::left);
}

// An unknown value shows as a faint dash.
void value(Canvas& canvas, std::optional<std::string_view> text, double x, double width) {
    canvas.text(text.value_or(emDash), {x, 44, width, 30}, canvas.font(24, FontWeight::bold),
                text ? Theme::text : Theme::textFaint, TextAlign::left);
}

void description(Canvas& canvas, std::string_view text, Rect rect, DisplayColor color) {
    canvas.text(text, rect, canvas.font(13), color, TextAlign::left);
}

std::string_view preampDescription(std::optional<Preamp> preamp) {
    if (!preamp) return "Choose a type below";
    switch (*preamp) {
        case Preamp::line: return "Balanced line level, +4 dBu";
        case Preamp::instrument: return "Guitar and bass: high impedance, +6 dB";
        case Preamp::high: return "Mic-level sources, +26 dB";
    }
    return "";
}

std::string_view aftertouchDescription(std::optional<AftertouchMode> mode) {
    if (!mode) return "Reading the Push\u2026";
    switch (*mode) {
        case AftertouchMode::channel: return "One pressure value for all held pads (channel pressure).";
        case AftertouchMode::poly: return "Each pad sends its own pressure (polyphonic aftertouch).";
        case AftertouchMode::mpe: return "Each held pad on its own channel, with its own pressure, slide and bend.";
    }
    return "";
}

void drawAudio(Canvas& canvas, const std::array<std::optional<Preamp>, 2>& preamps) {
    for (std::size_t k = 0; k < 2; ++k) {
        const double x = 480.0 * static_cast<double>(k) + 14;
        heading(canvas, "INPUT " + std::to_string(k + 1), x, 450);
        value(canvas, preamps[k] ? std::optional(name(*preamps[k])) : std::nullopt, x, 450);
        description(canvas, preampDescription(preamps[k]), {x, 80, 450, 18}, Theme::textDim);
    }
    canvas.fill({480, 26, 1, 96}, Theme::divider);
    description(canvas, "Corvane sets your choice again whenever the Push connects.", {14, 110, 460, 18},
                Theme::textFaint);
}

void drawExpression(Canvas& canvas, std::optional<AftertouchMode> aftertouch) {
    heading(canvas, "PAD PRESSURE", 14, 900);
    value(canvas, aftertouch ? std::optional(name(*aftertouch)) : std::nullopt, 14, 900);
    description(canvas, aftertouchDescription(aftertouch), {14, 80, 900, 18}, Theme::textDim);
}

ParameterColumnModel brightnessColumn(std::string title, std::optional<int> raw, int maximum) {
    if (!raw) return ParameterColumnModel(std::move(title), std::string(emDash), std::nullopt, false, false, true);
    const int p = SetupState::percent(*raw, maximum);
    return ParameterColumnModel(std::move(title), std::to_string(p) + " %", p / 100.0, false, false, true);
}

void drawDisplay(Canvas& canvas, const SetupState& setup) {
    const auto columns = brightnessColumns(setup);
    ParameterColumn::draw(canvas, 0, 24, columns[0]);
    ParameterColumn::draw(canvas, 1, 24, columns[1]);
    canvas.fill({120, 30, 1, 116}, Theme::divider);
    description(canvas, "Turn knobs 1 and 2 to change the brightness.", {254, 50, 700, 18}, Theme::textDim);
    description(canvas, "Both stay at 10 % or more, so the Push never goes dark.", {254, 70, 700, 18},
                Theme::textFaint);
}

void drawDiagnostics(Canvas& canvas, const StatusModel& status) {
    const DisplayColor color = status.statusColor();
    canvas.statusDot({22, 40}, 6, color);
    canvas.text(status.statusText(), {36, 28, 540, 24}, canvas.font(20, FontWeight::semibold), color,
                TextAlign::left);
    description(canvas, status.infoLine(), {14, 60, 570, 18}, Theme::textDim);

    canvas.fillRounded({600, 24, 350, 114}, 8, Theme::panel);
    const Font fixed = canvas.font(10.5, FontWeight::regular, false, true);
    const std::size_t lines = std::min<std::size_t>(status.diagnostics.size(), 8);
    for (std::size_t j = 0; j < lines; ++j) {
        canvas.text(status.diagnostics[j], {610, 28 + 13.5 * static_cast<double>(j), 330, 14}, fixed,
                    Theme::textDim, TextAlign::left);
    }
}

}  // namespace

std::vector<ButtonLabel> upperLabels(const SetupState& setup) {
    std::vector<ButtonLabel> labels;
    for (SetupTab tab : allSetupTabs) labels.emplace_back(std::string(name(tab)), tab == setup.tab, Theme::accent);
    labels.resize(8, ButtonLabel::none);
    return labels;
}

std::vector<ButtonLabel> lowerLabels(const SetupState& setup) {
    std::vector<ButtonLabel> labels(8, ButtonLabel::none);
    switch (setup.tab) {
        case SetupTab::audio:
            for (std::size_t input = 0; input < 2; ++input) {
                for (std::size_t i = 0; i < allPreamps.size(); ++i) {
                    const Preamp preamp = allPreamps[i];
                    labels[4 * input + i] =
                        ButtonLabel(capitals(name(preamp)), setup.preamps[input] == preamp, Theme::accent);
                }
            }
            break;
        case SetupTab::expression:
            for (std::size_t i = 0; i < allAftertouchModes.size(); ++i) {
                const AftertouchMode mode = allAftertouchModes[i];
                labels[i] = ButtonLabel(std::string(buttonName(mode)), setup.aftertouch == mode, Theme::accent);
            }
            break;
        case SetupTab::display:
        case SetupTab::diagnostics: break;
    }
    return labels;
}

std::array<ParameterColumnModel, 2> brightnessColumns(const SetupState& setup) {
    return {brightnessColumn("Display", setup.displayBrightness, 255), brightnessColumn("LEDs", setup.ledBrightness, 127)};
}

void draw(Canvas& canvas, const SetupState& setup, const StatusModel& status) {
    canvas.fill({0, 0, 960, 160}, Theme::background);
    ButtonRow::draw(canvas, upperLabels(setup), true);
    switch (setup.tab) {
        case SetupTab::audio: drawAudio(canvas, setup.preamps); break;
        case SetupTab::expression: drawExpression(canvas, setup.aftertouch); break;
        case SetupTab::display: drawDisplay(canvas, setup); break;
        case SetupTab::diagnostics: drawDiagnostics(canvas, status); break;
    }
    ButtonRow::draw(canvas, lowerLabels(setup), false);
}

}  // namespace corvane::SetupScreen
