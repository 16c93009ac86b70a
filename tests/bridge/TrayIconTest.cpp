#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>

#include "bridge/TrayIcon.h"
#include "tests/support/TemporaryFolder.h"

namespace corvane {
namespace {

using Light = BridgeStatus::Light;

struct Pixel {
    std::uint8_t red, green, blue, alpha;
};

// One pixel of an ARGB32 image (premultiplied; only opaque or empty pixels are read here).
Pixel at(cairo_surface_t* surface, int x, int y) {
    const unsigned char* data = cairo_image_surface_get_data(surface);
    std::uint32_t argb;
    std::memcpy(&argb, data + y * cairo_image_surface_get_stride(surface) + x * 4, 4);
    return {static_cast<std::uint8_t>(argb >> 16), static_cast<std::uint8_t>(argb >> 8),
            static_cast<std::uint8_t>(argb), static_cast<std::uint8_t>(argb >> 24)};
}

void expectColour(cairo_surface_t* surface, int x, int y, TrayIcon::Colour colour) {
    const Pixel pixel = at(surface, x, y);
    EXPECT_EQ(pixel.alpha, 255) << x << "," << y;
    EXPECT_EQ(pixel.red, colour.red) << x << "," << y;
    EXPECT_EQ(pixel.green, colour.green) << x << "," << y;
    EXPECT_EQ(pixel.blue, colour.blue) << x << "," << y;
}

TEST(TrayIcon, DrawsThreeSquaresAndTheLightInTheCorner) {
    for (Light light : {Light::ok, Light::waiting, Light::problem}) {
        const TrayIcon::Surface icon = TrayIcon::icon(light, 2);
        ASSERT_EQ(cairo_image_surface_get_width(icon.get()), 36);
        ASSERT_EQ(cairo_image_surface_get_height(icon.get()), 36);
        // Square centres at (4.5, 4.5), (13.5, 4.5), (4.5, 13.5) points; the light at (13.5, 13.5).
        expectColour(icon.get(), 9, 9, TrayIcon::labelColour);
        expectColour(icon.get(), 27, 9, TrayIcon::labelColour);
        expectColour(icon.get(), 9, 27, TrayIcon::labelColour);
        expectColour(icon.get(), 27, 27, TrayIcon::colour(light));
        // Between the squares and outside them stays clear; the corners are rounded.
        EXPECT_EQ(at(icon.get(), 18, 9).alpha, 0);
        EXPECT_EQ(at(icon.get(), 0, 0).alpha, 0);
        EXPECT_LT(at(icon.get(), 2, 2).alpha, 64);
    }
    EXPECT_EQ(TrayIcon::colour(Light::ok), (TrayIcon::Colour{76, 217, 100}));
    EXPECT_EQ(TrayIcon::colour(Light::waiting), (TrayIcon::Colour{245, 166, 35}));
    EXPECT_EQ(TrayIcon::colour(Light::problem), (TrayIcon::Colour{255, 59, 48}));
}

TEST(TrayIcon, WritesOneFilePerLight) {
    const std::filesystem::path root = newTemporaryFolder("corvane-icons");
    ASSERT_FALSE(root.empty());
    const std::filesystem::path folder = root / "icons";
    ASSERT_TRUE(TrayIcon::writeAll(folder));
    for (const char* name : {"corvane-ok.png", "corvane-waiting.png", "corvane-problem.png"}) {
        cairo_surface_t* read = cairo_image_surface_create_from_png((folder / name).c_str());
        EXPECT_EQ(cairo_surface_status(read), CAIRO_STATUS_SUCCESS) << name;
        EXPECT_EQ(cairo_image_surface_get_width(read), 36);
        cairo_surface_destroy(read);
    }
    std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace corvane
