#pragma once
// A font of the display canvas: Inter (or DejaVu Sans Mono for fixed pitch) at an absolute size
// in pixels, with DejaVu Sans for glyphs the font lacks.

#include <memory>

typedef struct _PangoContext PangoContext;
typedef struct _PangoFontDescription PangoFontDescription;
typedef struct _PangoAttrList PangoAttrList;

namespace corvane {

enum class FontWeight { regular, medium, semibold, bold };

// Cheap to copy. Copies of one font compare equal; fonts made separately never do.
class Font {
public:
    double size() const;
    FontWeight weight() const;
    bool monospacedDigits() const;  // digits of equal width ("tnum")
    bool monospaced() const;        // a fixed-pitch font
    // Height of the capital letters in pixels, from the font's own metrics.
    double capHeight() const;

    bool operator==(const Font&) const = default;

private:
    friend class Canvas;
    struct Data;

    // size must be finite; a negative size is taken as 0.
    static Font make(PangoContext* context, double size, FontWeight weight, bool monospacedDigits,
                     bool monospaced);
    explicit Font(std::shared_ptr<const Data> data) : data_(std::move(data)) {}
    const PangoFontDescription* description() const;
    PangoAttrList* attributes() const;  // null without "tnum"

    std::shared_ptr<const Data> data_;
};

}  // namespace corvane
