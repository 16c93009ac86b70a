#pragma once
// The tray icon: three rounded squares in a neutral grey and a traffic-light dot in the corner,
// 18 × 18 points. AppIndicator takes icons only by name, so the three lights are written as PNG
// files into a folder the tray names as its icon theme path.

#include <cairo.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "core/BridgeStatus.h"

namespace corvane::TrayIcon {

inline constexpr double points = 18.0;
// Pixels per point in the files: panels scale them down, and HiDPI panels stay sharp.
inline constexpr int fileScale = 2;

struct Colour {
    std::uint8_t red, green, blue;
    bool operator==(const Colour&) const = default;
};

// The squares' colour: a grey that reads on light and dark panels alike, since a tray cannot
// tell which colour the panel behind it has.
inline constexpr Colour labelColour{142, 142, 147};
Colour colour(BridgeStatus::Light light);

struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

// The icon as an ARGB32 image of 18 × scale pixels square.
Surface icon(BridgeStatus::Light light, int scale = fileScale);

// "corvane-ok", "corvane-waiting", "corvane-problem".
std::string name(BridgeStatus::Light light);

// Writes the three icons as <name>.png into `folder`, creating it. False when a file could not
// be written.
bool writeAll(const std::filesystem::path& folder);

}  // namespace corvane::TrayIcon
