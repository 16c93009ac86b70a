#include "PushDisplay/Canvas.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include "PushDisplay/GraphicsHandles.h"
#include "platform/Precondition.h"
#include "core/UTF8.h"

#if defined(__SANITIZE_ADDRESS__)
// fontconfig never frees the configuration and caches it builds once per process; only that is
// kept out of the leak report of sanitizer builds.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif

namespace corvane {

namespace {

constexpr double pi = std::numbers::pi;
constexpr const char* ellipsis = "\u2026";

// Cairo refuses images wider or taller than this.
constexpr int maxImageSide = 32767;

double clamp01(double value) { return std::isnan(value) ? 0.0 : std::clamp(value, 0.0, 1.0); }

}  // namespace

struct Canvas::Graphics {
    graphics::Surface surface;
    graphics::Context context;
    graphics::FontMap fontMap;
    graphics::TextContext textContext;
    graphics::TextLayout layout;
    std::map<std::tuple<double, FontWeight, bool, bool>, Font> fontCache;

    Graphics() {
        surface.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
        if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) fail();
        context.reset(cairo_create(surface.get()));
        if (cairo_status(context.get()) != CAIRO_STATUS_SUCCESS) fail();

        // No hinting and unrounded metrics: fractional widths, the same picture on every machine
        // with the same fonts.
        graphics::FontOptions options(cairo_font_options_create());
        cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
        cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
        cairo_set_font_options(context.get(), options.get());

        // A font map of our own, so the canvas shares no Pango state with other threads.
        fontMap.reset(pango_cairo_font_map_new());
        textContext.reset(pango_font_map_create_context(fontMap.get()));
        if (!textContext) fail();
        pango_cairo_context_set_font_options(textContext.get(), options.get());
        pango_cairo_context_set_resolution(textContext.get(), 72.0);  // 1 pt = 1 display pixel
        pango_context_set_round_glyph_positions(textContext.get(), FALSE);
        pango_cairo_update_context(context.get(), textContext.get());
        layout.reset(pango_layout_new(textContext.get()));
        pango_layout_set_single_paragraph_mode(layout.get(), TRUE);
    }

    [[noreturn]] static void fail() { throw std::runtime_error("Could not create display bitmap context"); }

    cairo_t* cr() const { return context.get(); }

    void setColor(DisplayColor c) { cairo_set_source_rgb(cr(), c.r / 255.0, c.g / 255.0, c.b / 255.0); }

    void fill(Rect rect, DisplayColor color) {
        cairo_new_path(cr());
        cairo_rectangle(cr(), rect.x, rect.y, rect.width, rect.height);
        setColor(color);
        cairo_fill(cr());
    }

    void roundedRectPath(Rect rect, double radius) {
        cairo_t* c = cr();
        cairo_new_path(c);
        rect = rect.standardized();
        const double r =
            std::isnan(radius) ? 0.0 : std::clamp(radius, 0.0, std::min(rect.width, rect.height) / 2);
        if (r <= 0) {
            cairo_rectangle(c, rect.x, rect.y, rect.width, rect.height);
            return;
        }
        cairo_new_sub_path(c);
        cairo_arc(c, rect.maxX() - r, rect.minY() + r, r, -pi / 2, 0);
        cairo_arc(c, rect.maxX() - r, rect.maxY() - r, r, 0, pi / 2);
        cairo_arc(c, rect.minX() + r, rect.maxY() - r, r, pi / 2, pi);
        cairo_arc(c, rect.minX() + r, rect.minY() + r, r, pi, 3 * pi / 2);
        cairo_close_path(c);
    }

    // Sets the layout's text and font; returns the natural width.
    double layOut(std::string_view utf8, const Font& font) {
        PangoLayout* l = layout.get();
        pango_layout_set_font_description(l, font.description());
        pango_layout_set_attributes(l, font.attributes());
        pango_layout_set_text(l, utf8.data(), static_cast<int>(utf8.size()));
        PangoRectangle logical;
        pango_layout_get_extents(l, nullptr, &logical);
        return static_cast<double>(logical.width) / PANGO_SCALE;
    }

    // The longest prefix, cut between grapheme clusters, that fits maxWidth with "…" after it;
    // nothing when not even "…" fits.
    std::optional<std::string> truncated(const std::string& utf8, const Font& font, double maxWidth) {
        layOut(utf8, font);
        int attributeCount = 0;
        const PangoLogAttr* attributes = pango_layout_get_log_attrs_readonly(layout.get(), &attributeCount);
        std::vector<std::size_t> cuts;
        const char* start = utf8.data();
        const char* p = start;
        for (int i = 0; i + 1 < attributeCount && p < start + utf8.size(); ++i, p = g_utf8_next_char(p)) {
            if (attributes[i].is_cursor_position) cuts.push_back(static_cast<std::size_t>(p - start));
        }
        auto candidate = [&](std::size_t cut) { return utf8.substr(0, cut) + ellipsis; };
        auto fits = [&](std::size_t cut) { return layOut(candidate(cut), font) <= maxWidth; };
        if (cuts.empty() || !fits(cuts.front())) return std::nullopt;
        std::size_t lo = 0, hi = cuts.size() - 1;  // cuts[lo] fits
        while (lo < hi) {
            const std::size_t mid = (lo + hi + 1) / 2;
            if (fits(cuts[mid])) {
                lo = mid;
            } else {
                hi = mid - 1;
            }
        }
        return candidate(cuts[lo]);
    }

    double drawText(const std::string& utf8, Rect rect, const Font& font, DisplayColor color,
                    TextAlign align) {
        double w = layOut(utf8, font);
        if (w > rect.width) {
            if (auto shortened = truncated(utf8, font, rect.width)) {
                w = layOut(*shortened, font);
            } else {
                layOut(utf8, font);  // the clip cuts it
            }
        }
        double x = rect.minX();
        if (align == TextAlign::center) x = rect.minX() + (rect.width - w) * 0.5;
        if (align == TextAlign::right) x = rect.maxX() - w;
        const double baseline = std::round(rect.midY() + font.capHeight() * 0.5);
        const double layoutBaseline =
            static_cast<double>(pango_layout_get_baseline(layout.get())) / PANGO_SCALE;

        cairo_t* c = cr();
        cairo_save(c);
        cairo_new_path(c);
        cairo_rectangle(c, rect.x - 1, rect.y - 4, rect.width + 2, rect.height + 8);
        cairo_clip(c);
        setColor(color);
        cairo_move_to(c, std::round(x), baseline - layoutBaseline);
        pango_cairo_show_layout(c, layout.get());
        cairo_restore(c);
        return w;
    }
};

Canvas::Canvas() : graphics_(std::make_unique<Graphics>()) {}

Canvas::~Canvas() = default;

void Canvas::flush() { cairo_surface_flush(graphics_->surface.get()); }

std::span<const std::uint8_t> Canvas::pixels() const {
    const unsigned char* data = cairo_image_surface_get_data(graphics_->surface.get());
    if (!data) return {};
    return {data, bytesPerRow() * height};
}

std::size_t Canvas::bytesPerRow() const {
    return static_cast<std::size_t>(cairo_image_surface_get_stride(graphics_->surface.get()));
}

DisplayColor Canvas::pixel(int x, int y) {
    precondition(x >= 0 && x < width && y >= 0 && y < height, "canvas pixel outside the display");
    flush();
    const std::uint8_t* p = pixels().data() + static_cast<std::size_t>(y) * bytesPerRow() + 4 * x;
    return DisplayColor(p[2], p[1], p[0]);
}

Font Canvas::font(double size, FontWeight weight, bool monospacedDigits, bool monospaced) {
    precondition(std::isfinite(size), "font size is not a finite number");
    const auto key = std::make_tuple(size + 0.0, weight, monospacedDigits, monospaced);  // -0 is 0
    auto found = graphics_->fontCache.find(key);
    if (found != graphics_->fontCache.end()) return found->second;
    Font made = Font::make(graphics_->textContext.get(), size, weight, monospacedDigits, monospaced);
    graphics_->fontCache.emplace(key, made);
    return made;
}

void Canvas::clear(DisplayColor color) { graphics_->fill({0, 0, width, height}, color); }

void Canvas::fill(Rect rect, DisplayColor color) { graphics_->fill(rect, color); }

void Canvas::fillRounded(Rect rect, double radius, DisplayColor color) {
    graphics_->roundedRectPath(rect, radius);
    graphics_->setColor(color);
    cairo_fill(graphics_->cr());
}

void Canvas::strokeRounded(Rect rect, double radius, double lineWidth, DisplayColor color) {
    const Rect inset = rect.standardized().insetBy(lineWidth / 2, lineWidth / 2);
    if (!(inset.width >= 0 && inset.height >= 0)) return;
    graphics_->roundedRectPath(inset, radius);
    graphics_->setColor(color);
    cairo_set_line_width(graphics_->cr(), lineWidth);
    cairo_stroke(graphics_->cr());
}

void Canvas::line(Point from, Point to, double lineWidth, DisplayColor color) {
    cairo_t* c = graphics_->cr();
    cairo_new_path(c);
    cairo_move_to(c, from.x, from.y);
    cairo_line_to(c, to.x, to.y);
    cairo_set_line_width(c, lineWidth);
    cairo_set_line_cap(c, CAIRO_LINE_CAP_BUTT);
    graphics_->setColor(color);
    cairo_stroke(c);
}

void Canvas::divider(double x, double top, double bottom, DisplayColor color) {
    graphics_->fill({std::floor(x), top, 1, bottom - top}, color);
}

void Canvas::statusDot(Point center, double radius, DisplayColor color) {
    cairo_t* c = graphics_->cr();
    cairo_new_path(c);
    cairo_arc(c, center.x, center.y, std::max(radius, 0.0), 0, 2 * pi);
    graphics_->setColor(color);
    cairo_fill(c);
}

void Canvas::selectionIndicator(Rect rect, double thickness, DisplayColor color) {
    graphics_->fill({rect.minX(), rect.minY(), rect.width, thickness}, color);
}

double Canvas::text(std::string_view string, Rect rect, const Font& font, DisplayColor color,
                    TextAlign align) {
    if (string.empty() || !(rect.width > 0)) return 0;
    return graphics_->drawText(validUTF8(string), rect, font, color, align);
}

double Canvas::textWidth(std::string_view string, const Font& font) {
    if (string.empty()) return 0;
    return graphics_->layOut(validUTF8(string), font);
}

void Canvas::bar(Rect rect, double value, bool bipolar, DisplayColor fg, DisplayColor bg) {
    fillRounded(rect, rect.height / 2, bg);
    const double v = clamp01(value);
    double fillX = rect.minX(), fillWidth = v * rect.width;
    if (bipolar) {
        // A centred value still shows a 2-pixel mark right of the centre.
        const double point = rect.minX() + v * rect.width;
        fillX = std::min(point, rect.midX());
        fillWidth = std::max(std::abs(point - rect.midX()), 2.0);
    }
    if (!(fillWidth > 0)) return;
    cairo_t* c = graphics_->cr();
    cairo_save(c);
    graphics_->roundedRectPath(rect, rect.height / 2);
    cairo_clip(c);
    graphics_->fill({fillX, rect.minY(), fillWidth, rect.height}, fg);
    cairo_restore(c);
}

void Canvas::meter(Rect rect, double level, std::optional<double> peak, DisplayColor color, DisplayColor hot,
                   DisplayColor bg) {
    fill(rect, bg);
    const double h = clamp01(level) * rect.height;
    const double split = 0.85 * rect.height;
    const double cool = std::min(h, split);
    fill({rect.minX(), rect.maxY() - cool, rect.width, cool}, color);
    if (h > split) fill({rect.minX(), rect.maxY() - h, rect.width, h - split}, hot);
    if (peak && *peak > 0) {
        const double y = std::round(rect.maxY() - std::min(*peak, 1.0) * rect.height);
        fill({rect.minX(), y, rect.width, 1}, *peak > 0.85 ? hot : color);
    }
}

void Canvas::arc(Point center, double radius, double value, bool bipolar, double lineWidth, DisplayColor fg,
                 DisplayColor track) {
    cairo_t* c = graphics_->cr();
    if (std::isnan(value)) value = 0;
    cairo_set_line_cap(c, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(c, lineWidth);
    // Angles grow clockwise on the display: 3/4 pi is lower left, 3/2 pi straight up.
    cairo_new_path(c);
    cairo_arc(c, center.x, center.y, radius, 3 * pi / 4, 9 * pi / 4);
    graphics_->setColor(track);
    cairo_stroke(c);
    const double start = bipolar ? 3 * pi / 2 : 3 * pi / 4;
    const double end = value < 1 ? 3 * pi / 4 + std::max(value, 0.0) * 3 * pi / 2 : 9 * pi / 4;
    if (std::abs(end - start) > 0.001) {
        cairo_new_path(c);
        cairo_arc(c, center.x, center.y, radius, std::min(start, end), std::max(start, end));
        graphics_->setColor(fg);
        cairo_stroke(c);
    }
    cairo_set_line_cap(c, CAIRO_LINE_CAP_BUTT);
}

void Canvas::chip(std::string_view label, Rect rect, const Font& font, bool on, DisplayColor onColor,
                  DisplayColor offColor, DisplayColor textOn, DisplayColor textOff) {
    if (on) {
        fillRounded(rect, 3, onColor);
    } else {
        graphics_->roundedRectPath(rect.insetBy(0.5, 0.5), 3);
        graphics_->setColor(offColor);
        cairo_set_line_width(graphics_->cr(), 1);
        cairo_stroke(graphics_->cr());
    }
    if (label.empty() || !(rect.width > 0)) return;
    graphics_->drawText(validUTF8(label), rect, font, on ? textOn : textOff, TextAlign::center);
}

void Canvas::writePNG(const std::filesystem::path& path, int scale, PixelOrder pixelOrder) {
    if (scale < 1) throw PNGWriteError("PNG scale must be at least 1, not " + std::to_string(scale));
    constexpr int maxScale = maxImageSide / width;
    if (scale > maxScale) {
        throw PNGWriteError("PNG scale " + std::to_string(scale) + " is too large: at most " +
                            std::to_string(maxScale) + " fits an image");
    }
    const int outWidth = width * scale, outHeight = height * scale;
    graphics::Surface image(cairo_image_surface_create(CAIRO_FORMAT_RGB24, outWidth, outHeight));
    if (const cairo_status_t status = cairo_surface_status(image.get()); status != CAIRO_STATUS_SUCCESS) {
        throw PNGWriteError("Could not make a " + std::to_string(outWidth) + " x " +
                            std::to_string(outHeight) + " PNG image: " + cairo_status_to_string(status));
    }
    flush();
    cairo_surface_flush(image.get());
    unsigned char* out = cairo_image_surface_get_data(image.get());
    const std::size_t outStride = static_cast<std::size_t>(cairo_image_surface_get_stride(image.get()));
    const std::uint8_t* in = pixels().data();
    std::vector<std::uint32_t> row(static_cast<std::size_t>(outWidth));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = in + static_cast<std::size_t>(y) * bytesPerRow() + 4 * x;
            // What the display shows: the colour reduced to 16 bits and widened again.
            const DisplayColor shown = unpack(pixelOrder, pack(pixelOrder, p[2], p[1], p[0]));
            const std::uint32_t word =
                0xFF000000u | std::uint32_t{shown.r} << 16 | std::uint32_t{shown.g} << 8 | shown.b;
            std::fill_n(row.begin() + static_cast<std::ptrdiff_t>(x) * scale, scale, word);
        }
        for (int copy = 0; copy < scale; ++copy) {
            std::memcpy(out + (static_cast<std::size_t>(y) * scale + copy) * outStride, row.data(),
                        row.size() * 4);
        }
    }
    cairo_surface_mark_dirty(image.get());
    if (cairo_surface_write_to_png(image.get(), path.c_str()) != CAIRO_STATUS_SUCCESS) {
        throw PNGWriteError("The file couldn\u2019t be saved.");
    }
}

}  // namespace corvane
