#pragma once
// Points and rectangles in display pixels: origin top left, y downwards.

namespace corvane {

struct Point {
    double x = 0;
    double y = 0;
    bool operator==(const Point&) const = default;
};

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    constexpr double minX() const { return x; }
    constexpr double minY() const { return y; }
    constexpr double maxX() const { return x + width; }
    constexpr double maxY() const { return y + height; }
    constexpr double midX() const { return x + width / 2; }
    constexpr double midY() const { return y + height / 2; }

    // The same area with a non-negative width and height.
    constexpr Rect standardized() const {
        Rect r = *this;
        if (r.width < 0) r.x += r.width, r.width = -r.width;
        if (r.height < 0) r.y += r.height, r.height = -r.height;
        return r;
    }

    constexpr Rect insetBy(double dx, double dy) const {
        return {x + dx, y + dy, width - 2 * dx, height - 2 * dy};
    }

    bool operator==(const Rect&) const = default;
};

}  // namespace corvane
