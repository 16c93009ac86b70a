#pragma once
// The drawing surface of the Push display: a 960 x 160 Cairo image in memory (B, G, R, A bytes
// per pixel, as the frame encoder reads them), with the primitives every screen draws with.
// Coordinates are pixels from the top-left corner, y downwards. Not safe for use from several
// threads.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "PushDisplay/DisplayColor.h"
#include "PushDisplay/Font.h"
#include "PushDisplay/Geometry.h"
#include "PushDisplay/PixelOrder.h"

namespace corvane {

enum class TextAlign { left, center, right };

// A PNG that could not be written, or a scale no image can have.
class PNGWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Canvas {
public:
    static constexpr int width = 960;
    static constexpr int height = 160;

    // Throws std::runtime_error("Could not create display bitmap context") when Cairo cannot
    // make the image.
    Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    ~Canvas();

    // Calls body(pixels, bytesPerRow) with the finished bitmap, in place; the span is valid only
    // during the call.
    template <class Body>
    decltype(auto) withPixels(Body&& body) {
        flush();
        return std::forward<Body>(body)(pixels(), bytesPerRow());
    }

    // The colour at (x, y); x in 0...959, y in 0...159.
    DisplayColor pixel(int x, int y);

    // Made on first use and kept for the canvas's life.
    Font font(double size, FontWeight weight = FontWeight::regular, bool monospacedDigits = false,
              bool monospaced = false);

    void clear(DisplayColor color);
    void fill(Rect rect, DisplayColor color);
    // The radius is clamped to half the shorter side.
    void fillRounded(Rect rect, double radius, DisplayColor color);
    // The stroke lies inside rect.
    void strokeRounded(Rect rect, double radius, double lineWidth, DisplayColor color);
    void line(Point from, Point to, double lineWidth, DisplayColor color);
    // A one-pixel vertical rule on the whole pixel column under x.
    void divider(double x, double top, double bottom, DisplayColor color);
    void statusDot(Point center, double radius, DisplayColor color);
    // A strip of the given thickness along the top edge of rect.
    void selectionIndicator(Rect rect, double thickness, DisplayColor color);

    // One line of text, cut at its end with "…" when wider than rect, capitals centred on the
    // rectangle's middle. Returns the width of the drawn line (0 when nothing was drawn). Text
    // that is not valid UTF-8 is cleaned first.
    double text(std::string_view string, Rect rect, const Font& font, DisplayColor color, TextAlign align);
    // The natural width of the string on one line, without truncation.
    double textWidth(std::string_view string, const Font& font);

    // A horizontal value bar; value is clamped to 0...1.
    void bar(Rect rect, double value, bool bipolar, DisplayColor fg, DisplayColor bg);
    // A vertical level meter filled from the bottom; the part above 85 % is hot.
    void meter(Rect rect, double level, std::optional<double> peak, DisplayColor color, DisplayColor hot,
               DisplayColor bg);
    // A 270-degree knob arc with its gap at the bottom.
    void arc(Point center, double radius, double value, bool bipolar, double lineWidth, DisplayColor fg,
             DisplayColor track);
    // A small labelled state box: filled when on, outlined when off.
    void chip(std::string_view label, Rect rect, const Font& font, bool on, DisplayColor onColor,
              DisplayColor offColor, DisplayColor textOn, DisplayColor textOff);

    // The picture as an opaque PNG enlarged scale times, in the colours the display shows in the
    // given pixel order. Throws PNGWriteError when scale is below 1 or too large for an image,
    // or when the file cannot be written.
    void writePNG(const std::filesystem::path& path, int scale, PixelOrder pixelOrder);

private:
    struct Graphics;

    void flush();
    std::span<const std::uint8_t> pixels() const;
    std::size_t bytesPerRow() const;

    std::unique_ptr<Graphics> graphics_;
};

}  // namespace corvane
