#pragma once
// Owning handles for the Cairo, Pango and GLib objects the canvas keeps.

#include <cairo.h>
#include <glib-object.h>
#include <pango/pangocairo.h>

#include <memory>

namespace corvane::graphics {

template <class T, void (*Release)(T*)>
struct Releaser {
    void operator()(T* p) const {
        if (p) Release(p);
    }
};

template <class T>
void unrefObject(T* object) {
    g_object_unref(object);
}

using Surface = std::unique_ptr<cairo_surface_t, Releaser<cairo_surface_t, cairo_surface_destroy>>;
using Context = std::unique_ptr<cairo_t, Releaser<cairo_t, cairo_destroy>>;
using FontOptions =
    std::unique_ptr<cairo_font_options_t, Releaser<cairo_font_options_t, cairo_font_options_destroy>>;
using FontMap = std::unique_ptr<PangoFontMap, Releaser<PangoFontMap, unrefObject<PangoFontMap>>>;
using TextContext = std::unique_ptr<PangoContext, Releaser<PangoContext, unrefObject<PangoContext>>>;
using TextLayout = std::unique_ptr<PangoLayout, Releaser<PangoLayout, unrefObject<PangoLayout>>>;
using LoadedFont = std::unique_ptr<PangoFont, Releaser<PangoFont, unrefObject<PangoFont>>>;
using FontDescription =
    std::unique_ptr<PangoFontDescription, Releaser<PangoFontDescription, pango_font_description_free>>;
using AttributeList = std::unique_ptr<PangoAttrList, Releaser<PangoAttrList, pango_attr_list_unref>>;

}  // namespace corvane::graphics
