#include "PushDisplay/Font.h"

#include <hb-ot.h>

#include <cmath>

#include "PushDisplay/GraphicsHandles.h"
#include "platform/Precondition.h"

namespace corvane {

struct Font::Data {
    double size;
    FontWeight weight;
    bool monospacedDigits;
    bool monospaced;
    double capHeight;
    graphics::FontDescription description;
    graphics::AttributeList attributes;
};

namespace {

PangoWeight pangoWeight(FontWeight weight) {
    switch (weight) {
        case FontWeight::regular:
            return PANGO_WEIGHT_NORMAL;
        case FontWeight::medium:
            return PANGO_WEIGHT_MEDIUM;
        case FontWeight::semibold:
            return PANGO_WEIGHT_SEMIBOLD;
        case FontWeight::bold:
            return PANGO_WEIGHT_BOLD;
    }
    return PANGO_WEIGHT_NORMAL;
}

// The cap height of the font fontconfig picks for the description, scaled to pixels. Falls back
// to the usual 0.7 em when the font has no such metric.
double capHeightOf(PangoContext* context, const PangoFontDescription* description, double size) {
    graphics::LoadedFont font(pango_context_load_font(context, description));
    if (!font) return 0.7 * size;
    hb_font_t* hb = pango_font_get_hb_font(font.get());
    hb_position_t capHeight = 0;
    int xScale = 0, yScale = 0;
    if (hb) hb_font_get_scale(hb, &xScale, &yScale);
    if (!hb || yScale == 0 || !hb_ot_metrics_get_position(hb, HB_OT_METRICS_TAG_CAP_HEIGHT, &capHeight)) {
        return 0.7 * size;
    }
    return static_cast<double>(capHeight) / yScale * size;
}

}  // namespace

Font Font::make(PangoContext* context, double size, FontWeight weight, bool monospacedDigits,
                bool monospaced) {
    precondition(std::isfinite(size), "font size is not a finite number");
    size = std::max(size, 0.0);
    graphics::FontDescription description(pango_font_description_new());
    pango_font_description_set_family(description.get(),
                                      monospaced ? "DejaVu Sans Mono,DejaVu Sans" : "Inter,DejaVu Sans");
    pango_font_description_set_weight(description.get(), pangoWeight(weight));
    pango_font_description_set_absolute_size(description.get(), size * PANGO_SCALE);
    graphics::AttributeList attributes;
    if (monospacedDigits) {
        attributes.reset(pango_attr_list_new());
        pango_attr_list_insert(attributes.get(), pango_attr_font_features_new("tnum"));
    }
    const double capHeight = capHeightOf(context, description.get(), size);
    return Font(std::make_shared<const Data>(Data{size, weight, monospacedDigits, monospaced, capHeight,
                                                  std::move(description), std::move(attributes)}));
}

double Font::size() const { return data_->size; }
FontWeight Font::weight() const { return data_->weight; }
bool Font::monospacedDigits() const { return data_->monospacedDigits; }
bool Font::monospaced() const { return data_->monospaced; }
double Font::capHeight() const { return data_->capHeight; }
const PangoFontDescription* Font::description() const { return data_->description.get(); }
PangoAttrList* Font::attributes() const { return data_->attributes.get(); }

}  // namespace corvane
