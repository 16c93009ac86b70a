#pragma once
// Reading a drawn screen by region: where ink fell and in what colour, never exact glyph pixels.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "PushDisplay/Canvas.h"
#include "PushDisplay/Theme.h"

namespace corvane::testing {

struct Box {
    int minX = 10000, minY = 10000, maxX = -1, maxY = -1;  // inclusive pixel bounds
    bool empty() const { return maxX < 0; }
    int width() const { return empty() ? 0 : maxX - minX + 1; }
    double midX() const { return (minX + maxX + 1) / 2.0; }
};

inline int distance(DisplayColor a, DisplayColor b) {
    return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
}

// A copy of the canvas's pixels, read once.
class Picture {
public:
    explicit Picture(Canvas& canvas) : pixels_(Canvas::width * Canvas::height) {
        canvas.withPixels([&](std::span<const std::uint8_t> bytes, std::size_t stride) {
            for (int y = 0; y < Canvas::height; ++y)
                for (int x = 0; x < Canvas::width; ++x) {
                    const std::uint8_t* p = bytes.data() + y * stride + 4 * x;
                    pixels_[y * Canvas::width + x] = DisplayColor(p[2], p[1], p[0]);
                }
            return 0;
        });
    }

    DisplayColor at(int x, int y) const { return pixels_[y * Canvas::width + x]; }

    // Bounds of every pixel in the area that is not `ground`.
    Box ink(Rect area, DisplayColor ground = Theme::background) const {
        return bounds(area, [&](DisplayColor c) { return c != ground; });
    }
    // Bounds of the pixels of exactly this colour.
    Box inkOf(DisplayColor color, Rect area = whole) const {
        return bounds(area, [&](DisplayColor c) { return c == color; });
    }
    int count(DisplayColor color, Rect area = whole) const {
        int n = 0;
        each(area, [&](int, int, DisplayColor c) { n += c == color; });
        return n;
    }
    // The colour that stands out most from the ground: for antialiased text, its ink colour.
    DisplayColor strongest(Rect area, DisplayColor ground = Theme::background) const {
        DisplayColor best = ground;
        each(area, [&](int, int, DisplayColor c) {
            if (distance(c, ground) > distance(best, ground)) best = c;
        });
        return best;
    }

    static constexpr Rect whole{0, 0, Canvas::width, Canvas::height};

private:
    template <class F>
    void each(Rect area, F&& f) const {
        const int x0 = std::max(0, int(area.minX())), x1 = std::min(Canvas::width, int(area.maxX()));
        const int y0 = std::max(0, int(area.minY())), y1 = std::min(Canvas::height, int(area.maxY()));
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) f(x, y, at(x, y));
    }
    template <class P>
    Box bounds(Rect area, P&& inked) const {
        Box box;
        each(area, [&](int x, int y, DisplayColor c) {
            if (!inked(c)) return;
            box.minX = std::min(box.minX, x), box.maxX = std::max(box.maxX, x);
            box.minY = std::min(box.minY, y), box.maxY = std::max(box.maxY, y);
        });
        return box;
    }

    std::vector<DisplayColor> pixels_;
};

// Writes a preview into the build folder when CORVANE_SCREEN_PNG names a directory.
inline void preview(Canvas& canvas, const std::string& name) {
    if (const char* dir = std::getenv("CORVANE_SCREEN_PNG")) {
        canvas.writePNG(std::filesystem::path(dir) / (name + ".png"), 2, PixelOrder::bgr565);
    }
}

}  // namespace corvane::testing
