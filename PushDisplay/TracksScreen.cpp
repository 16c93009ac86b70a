#include "PushDisplay/TracksScreen.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <string>

#include "PushDisplay/TextRun.h"
#include "PushDisplay/Theme.h"

namespace corvane::TracksScreen {
namespace {

using Unit = TimelinePosition::Unit;

constexpr double timelineX = 124;
constexpr double timelineWidth = 832;
constexpr Rect rulerStrip{timelineX, 19, timelineWidth, 12};
constexpr double rulerBottom = 31;
constexpr double rowsTop = 32;
constexpr double rowHeight = 16;
constexpr int rowCount = 8;
constexpr DisplayColor letterOff = DisplayColor::hex(0x31363F);
// A window never holds more marks than its span over the smallest step, plus one; the bound
// keeps positions so large that adding a step changes nothing from looping for ever.
constexpr int maxMarks = 64;

double xOf(const TracksScreenModel& model, double t) {
    return timelineX + timelineWidth * (t - model.windowStart) / std::max(model.windowEnd - model.windowStart, 0.0001);
}

// A one-pixel column at a whole x; off the display it draws nothing (Cairo's fixed-point
// coordinates would wrap a far-away x back onto it).
void fillColumn(Canvas& canvas, double x, double top, double height, DisplayColor color) {
    if (!(x >= 0 && x < Canvas::width)) return;
    canvas.fill({x, top, 1, height}, color);
}

// The times t = step × k inside the window, in order.
template <class Body>
void forEachMark(const TracksScreenModel& model, double step, Body body) {
    const double first = step * std::ceil(model.windowStart / step);
    for (int k = 0; k < maxMarks; ++k) {
        const double t = first + step * k;
        if (!(t <= model.windowEnd)) break;
        body(t);
    }
}

// A whole number in decimal, however large.
std::string wholeNumber(double value) {
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value + 0.0, std::chars_format::fixed, 0);
    return std::string(buffer, result.ptr);
}

void drawHeader(Canvas& canvas, const TracksScreenModel& model) {
    const Font bold = canvas.font(12, FontWeight::bold);
    canvas.text("TRACKS", {8, 1, 70, 16}, bold, Theme::accent, TextAlign::left);
    if (!model.bankText.empty())
        canvas.text(model.bankText, {66, 1, 110, 16}, canvas.font(11, FontWeight::regular), Theme::textDim,
                    TextAlign::left);
    if (!model.positionText.empty())
        canvas.text(model.positionText, {330, 0, 300, 18}, canvas.font(14, FontWeight::semibold, true), Theme::text,
                    TextAlign::center);

    ColoredText items[4];
    std::size_t count = 0;
    if (!model.tempoText.empty()) items[count++] = {model.tempoText, Theme::textDim};
    if (model.cycle) items[count++] = {"⟲ CYCLE", Theme::accent};
    if (model.recording) items[count++] = {"● REC", Theme::record};
    items[count++] = model.playing ? ColoredText{"▶", Theme::ok} : ColoredText{"■", Theme::textFaint};
    TextRun::drawRightAligned(canvas, std::span(items, count), 952, 1, 16, bold, 12);
}

void drawRuler(Canvas& canvas, const TracksScreenModel& model) {
    canvas.fill(rulerStrip, Theme::panel);
    if (!model.unit) return;
    if (model.cycleRange) {
        const double x0 = std::max(rulerStrip.minX(), xOf(model, model.cycleRange->lowerBound));
        const double x1 = std::min(rulerStrip.maxX(), xOf(model, model.cycleRange->upperBound));
        if (x0 < x1)
            canvas.fill({x0, rulerStrip.minY(), x1 - x0, rulerStrip.height},
                        model.cycle ? Theme::accentDim : Theme::divider);
    }

    const bool beats = *model.unit == Unit::beats;
    const double step = beats ? 4 : 5;
    const Font label = canvas.font(9, FontWeight::regular, true);
    forEachMark(model, step, [&](double t) {
        const double n = std::round(t / step);
        const double x = std::round(xOf(model, t));
        // Every 16 beats (four bars), or every 10 seconds.
        const bool major = std::fmod(n, beats ? 4 : 2) == 0;
        const double h = major ? 6 : 3;
        fillColumn(canvas, x, rulerBottom - h, h, Theme::textFaint);
        if (!major) return;
        const std::string text = beats ? wholeNumber(n + 1) : wholeNumber(std::trunc(t)) + "s";
        canvas.text(text, {x + 2, 18, 40, 12}, label, Theme::textDim, TextAlign::left);
    });
}

void drawTimelineGuides(Canvas& canvas, const TracksScreenModel& model, Rect lane, DisplayColor bg) {
    if (!model.unit) return;
    if (model.cycleRange) {
        const double x0 = std::max(lane.minX(), xOf(model, model.cycleRange->lowerBound));
        const double x1 = std::min(lane.maxX(), xOf(model, model.cycleRange->upperBound));
        if (x0 < x1)
            canvas.fill({x0, lane.minY(), x1 - x0, lane.height},
                        bg.mixed(Theme::accentDim, model.cycle ? 0.35 : 0.12));
    }
    // On the ruler's major marks: every four bars, or every ten seconds.
    const double spacing = *model.unit == Unit::beats ? 16 : 10;
    const DisplayColor guide = bg.mixed(Theme::divider, 0.9);
    forEachMark(model, spacing,
                [&](double t) { fillColumn(canvas, std::round(xOf(model, t)), lane.minY(), lane.height, guide); });
}

void drawRow(Canvas& canvas, const TracksScreenModel& model, int index) {
    const double y = rowsTop + rowHeight * index;
    const Rect lane{timelineX, y + 1, timelineWidth, 14};
    const DisplayColor bg = index % 2 == 0 ? Theme::panel : Theme::background.mixed(Theme::panel, 0.5);
    canvas.fill(lane, bg);
    drawTimelineGuides(canvas, model, lane, bg);

    if (static_cast<std::size_t>(index) >= model.rows.size()) return;
    const TracksScreenModel::Row& row = model.rows[static_cast<std::size_t>(index)];
    if (!row.exists) return;

    if (row.selected) canvas.fill({0, y + 1, 122, 14}, Theme::accentDim);
    canvas.fill({2, y + 2, 3, 12}, row.color.value_or(Theme::textDim));
    if (!row.name.empty())
        canvas.text(row.name, {8, y, 78, 16}, canvas.font(11, row.selected ? FontWeight::bold : FontWeight::medium),
                    row.selected ? Theme::text : Theme::textDim, TextAlign::left);

    const Font letters = canvas.font(9, FontWeight::bold);
    const struct {
        const char* text;
        bool on;
        DisplayColor color;
    } states[3] = {{"M", row.mute, Theme::mute}, {"S", row.solo, Theme::solo}, {"R", row.recordArm, Theme::record}};
    for (int k = 0; k < 3; ++k)
        canvas.text(states[k].text, {88.0 + 9 * k, y, 9, 16}, letters, states[k].on ? states[k].color : letterOff,
                    TextAlign::center);

    canvas.meter({117, y + 2, 4, 12}, row.meter, std::nullopt, Theme::meter, Theme::meterHot, Theme::divider);
    if (row.selected) canvas.strokeRounded(lane, 2, 1, Theme::accent);
}

}  // namespace

void draw(Canvas& canvas, const TracksScreenModel& model) {
    canvas.fill({0, 0, Canvas::width, Canvas::height}, Theme::background);
    drawHeader(canvas, model);
    drawRuler(canvas, model);
    for (int i = 0; i < rowCount; ++i) drawRow(canvas, model, i);

    if (!model.unit) {
        canvas.text(timelineHint, {timelineX, 84, timelineWidth, 16}, canvas.font(12, FontWeight::regular),
                    Theme::textFaint, TextAlign::center);
        return;
    }
    // Last, over ruler and rows; not held to the lanes, so a position before zero lies left of them.
    if (model.playhead) fillColumn(canvas, std::round(xOf(model, *model.playhead)), 19, 141, Theme::text);
}

}  // namespace corvane::TracksScreen
