#include "bridge/TrayIcon.h"

#include <numbers>
#include <system_error>

namespace corvane::TrayIcon {

namespace {

constexpr double pi = std::numbers::pi;

void fill(cairo_t* cr, Colour colour) {
    cairo_set_source_rgb(cr, colour.red / 255.0, colour.green / 255.0, colour.blue / 255.0);
    cairo_fill(cr);
}

void roundedSquare(cairo_t* cr, double x, double y, double side, double radius) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + side - radius, y + radius, radius, -pi / 2, 0);
    cairo_arc(cr, x + side - radius, y + side - radius, radius, 0, pi / 2);
    cairo_arc(cr, x + radius, y + side - radius, radius, pi / 2, pi);
    cairo_arc(cr, x + radius, y + radius, radius, pi, 3 * pi / 2);
    cairo_close_path(cr);
}

}  // namespace

Colour colour(BridgeStatus::Light light) {
    switch (light) {
        case BridgeStatus::Light::ok:
            return {76, 217, 100};
        case BridgeStatus::Light::waiting:
            return {245, 166, 35};
        case BridgeStatus::Light::problem:
            break;
    }
    return {255, 59, 48};
}

Surface icon(BridgeStatus::Light light, int scale) {
    const int pixels = static_cast<int>(points) * scale;
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pixels, pixels));
    cairo_t* cr = cairo_create(surface.get());
    cairo_scale(cr, scale, scale);
    // Drawn with the origin at the top left: squares top left, top right and bottom left, the
    // light in the bottom-right corner.
    constexpr double side = 7.0;
    constexpr double radius = 1.5;
    roundedSquare(cr, 1, 1, side, radius);
    roundedSquare(cr, 10, 1, side, radius);
    roundedSquare(cr, 1, 10, side, radius);
    fill(cr, labelColour);
    cairo_arc(cr, 9.5 + 4, 9.5 + 4, 4, 0, 2 * pi);
    fill(cr, colour(light));
    cairo_destroy(cr);
    cairo_surface_flush(surface.get());
    return surface;
}

std::string name(BridgeStatus::Light light) {
    switch (light) {
        case BridgeStatus::Light::ok:
            return "corvane-ok";
        case BridgeStatus::Light::waiting:
            return "corvane-waiting";
        case BridgeStatus::Light::problem:
            break;
    }
    return "corvane-problem";
}

bool writeAll(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) return false;
    for (auto light : {BridgeStatus::Light::ok, BridgeStatus::Light::waiting, BridgeStatus::Light::problem}) {
        const std::filesystem::path file = folder / (name(light) + ".png");
        if (cairo_surface_write_to_png(icon(light).get(), file.c_str()) != CAIRO_STATUS_SUCCESS) return false;
    }
    return true;
}

}  // namespace corvane::TrayIcon
