#include "PushDisplay/ScaleScreen.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

#include "PushDisplay/ButtonRow.h"
#include "PushDisplay/Capitals.h"
#include "PushDisplay/Theme.h"
#include "core/PadEngine.h"

namespace corvane::ScaleScreen {

namespace {

constexpr int groupSize = 4;
constexpr int visibleGroups = 5;
constexpr int firstGridColumn = 3;

std::string signedNumber(int value) { return (value >= 0 ? "+" : "") + std::to_string(value); }

double columnLeft(int column) { return Theme::columnWidth * column; }

void drawGrid(Canvas& canvas, const PadSettings& settings) {
    const auto& scales = PadEngine::scales();
    const int count = static_cast<int>(scales.size());
    const Font font = canvas.font(12, FontWeight::semibold);
    const int first = firstVisibleGroup(settings.scaleIndex);
    const int end = std::min(count, (first + visibleGroups) * groupSize);
    for (int i = first * groupSize; i < end; ++i) {
        const int column = firstGridColumn + i / groupSize - first;
        const Rect cell{columnLeft(column) + 6, 26 + 28.0 * (i % groupSize), 108, 22};
        const std::string& name = scales[static_cast<std::size_t>(i)].name;
        if (i == settings.scaleIndex) {
            canvas.fillRounded(cell, 4, settings.drums ? Theme::divider : Theme::accent);
            canvas.text(name, cell, font, Theme::background, TextAlign::center);
        } else {
            canvas.text(name, cell, font, settings.drums ? Theme::textFaint : Theme::textDim, TextAlign::center);
        }
    }
}

}  // namespace

std::vector<ButtonLabel> upperLabels(const PadSettings& settings) {
    std::vector<ButtonLabel> labels;
    labels.emplace_back(capitals(name(settings.layout)), false, Theme::accent);
    for (std::size_t i = 0; i < PadEngine::upperRoots.size(); ++i) {
        labels.emplace_back(std::string(PadEngine::upperRootNames[i]), PadEngine::upperRoots[i] == settings.root,
                            Theme::accent);
    }
    labels.emplace_back(settings.fixed ? "FIXED ON" : "FIXED OFF", settings.fixed, Theme::accent);
    return labels;
}

std::vector<ButtonLabel> lowerLabels(const PadSettings& settings) {
    std::vector<ButtonLabel> labels;
    labels.emplace_back(settings.inKey ? "IN KEY" : "CHROMATIC", false, Theme::accent);
    for (std::size_t i = 0; i < PadEngine::lowerRoots.size(); ++i) {
        labels.emplace_back(std::string(PadEngine::lowerRootNames[i]), PadEngine::lowerRoots[i] == settings.root,
                            Theme::accent);
    }
    labels.push_back(ButtonLabel::none);
    return labels;
}

int firstVisibleGroup(int scaleIndex) {
    const int groups = (static_cast<int>(PadEngine::scales().size()) + groupSize - 1) / groupSize;
    return std::max(0, std::min(groups - visibleGroups, scaleIndex / groupSize - 2));
}

std::string informationLine(const PadSettings& settings) {
    std::string line;
    if (settings.drums) {
        line = "4\u00D74 blocks";
    } else {
        line = settings.inKey ? "In Key" : "Chromatic";
        line += " \u00B7 ";
        line += name(settings.layout);
        if (settings.fixed) line += " \u00B7 Fixed";
    }
    if (const auto range = PadEngine::range(settings)) {
        line += " \u00B7 " + PadSettings::noteName(range->low) + "\u2013" + PadSettings::noteName(range->high);
    }
    return line;
}

void draw(Canvas& canvas, const PadSettings& settings) {
    canvas.fill({0, 0, 960, 160}, Theme::background);
    ButtonRow::draw(canvas, upperLabels(settings), true);
    ButtonRow::draw(canvas, lowerLabels(settings), false);

    canvas.text("SCALE", {14, 25, 80, 20}, canvas.font(13, FontWeight::bold), Theme::accent, TextAlign::left);
    const std::string& scaleName = settings.scale().name;
    const std::string title = settings.drums ? "Drums" : std::string(settings.rootName()) + " " + scaleName;
    canvas.text(title, {72, 22, 280, 26}, canvas.font(19, FontWeight::bold), Theme::text, TextAlign::left);

    const Font captionFont = canvas.font(12, FontWeight::semibold);
    const Font valueFont = canvas.font(16, FontWeight::bold);
    const std::string_view captions[3] = {"Root", "Scale", "Octave"};
    const std::string values[3] = {std::string(settings.rootName()), scaleName, signedNumber(settings.octave)};
    for (int k = 0; k < 3; ++k) {
        canvas.text(captions[k], {columnLeft(k) + 6, 56, 108, 16}, captionFont, Theme::textDim, TextAlign::center);
        canvas.text(values[k], {columnLeft(k) + 6, 74, 108, 22}, valueFont, Theme::text, TextAlign::center);
    }

    canvas.text(informationLine(settings), {14, 108, 336, 18}, canvas.font(12), Theme::textDim, TextAlign::left);
    canvas.fill({360, 24, 1, 112}, Theme::divider);
    drawGrid(canvas, settings);
}

}  // namespace corvane::ScaleScreen
