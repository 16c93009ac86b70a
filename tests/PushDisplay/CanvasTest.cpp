#include <cairo.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "PushDisplay/Canvas.h"
#include "PushDisplay/FrameEncoder.h"
#include "PushDisplay/Theme.h"

namespace corvane {
namespace {

constexpr DisplayColor red{255, 0, 0};
constexpr DisplayColor blue{0, 0, 255};
constexpr DisplayColor white{255, 255, 255};

struct Box {
    int minX = 10000, minY = 10000, maxX = -1, maxY = -1;  // inclusive pixel bounds
    bool empty() const { return maxX < 0; }
    double midX() const { return (minX + maxX + 1) / 2.0; }
    double midY() const { return (minY + maxY + 1) / 2.0; }
};

class CanvasTest : public ::testing::Test {
protected:
    void SetUp() override { canvas.clear(Theme::background); }

    // The bounding box of every pixel that is no longer the background.
    Box ink(Rect area = {0, 0, 960, 160}) {
        Box box;
        for (int y = int(area.minY()); y < int(area.maxY()); ++y) {
            for (int x = int(area.minX()); x < int(area.maxX()); ++x) {
                if (canvas.pixel(x, y) == Theme::background) continue;
                box.minX = std::min(box.minX, x), box.maxX = std::max(box.maxX, x);
                box.minY = std::min(box.minY, y), box.maxY = std::max(box.maxY, y);
            }
        }
        return box;
    }

    int count(DisplayColor color) {
        int n = 0;
        for (int y = 0; y < Canvas::height; ++y)
            for (int x = 0; x < Canvas::width; ++x) n += canvas.pixel(x, y) == color;
        return n;
    }

    Canvas canvas;
};

TEST_F(CanvasTest, PixelsAreBlueGreenRedAlphaInPlace) {
    EXPECT_EQ(canvas.pixel(0, 0), Theme::background);
    canvas.clear(DisplayColor(1, 2, 3));
    const auto [first, stride, size] =
        canvas.withPixels([](std::span<const std::uint8_t> pixels, std::size_t rowBytes) {
            return std::tuple(std::vector<std::uint8_t>(pixels.begin(), pixels.begin() + 4), rowBytes,
                              pixels.size());
        });
    EXPECT_EQ(first, (std::vector<std::uint8_t>{3, 2, 1, 0xFF}));
    EXPECT_EQ(stride, 3840u);
    EXPECT_EQ(size, 3840u * 160);
}

TEST_F(CanvasTest, FillsCoverWholePixelsExactly) {
    canvas.fill({10, 20, 30, 40}, red);
    EXPECT_EQ(canvas.pixel(10, 20), red);
    EXPECT_EQ(canvas.pixel(39, 59), red);
    EXPECT_EQ(canvas.pixel(9, 20), Theme::background);
    EXPECT_EQ(canvas.pixel(40, 59), Theme::background);
    EXPECT_EQ(canvas.pixel(39, 60), Theme::background);
    EXPECT_EQ(count(red), 30 * 40);

    canvas.divider(119.7, 0, 160, blue);
    EXPECT_EQ(canvas.pixel(119, 80), blue);
    EXPECT_EQ(canvas.pixel(118, 80), Theme::background);
    EXPECT_EQ(canvas.pixel(120, 80), Theme::background);

    canvas.selectionIndicator({200, 100, 50, 30}, 3, white);
    EXPECT_EQ(canvas.pixel(200, 102), white);
    EXPECT_EQ(canvas.pixel(200, 103), Theme::background);
    EXPECT_EQ(count(white), 50 * 3);
}

TEST_F(CanvasTest, RoundedShapesClampTheirRadius) {
    // A radius far beyond half the height gives a capsule, not stray arcs.
    canvas.fillRounded({0, 0, 100, 20}, 1000, red);
    EXPECT_EQ(canvas.pixel(0, 0), Theme::background);
    EXPECT_EQ(canvas.pixel(99, 19), Theme::background);
    EXPECT_EQ(canvas.pixel(50, 0), red);
    EXPECT_EQ(canvas.pixel(1, 10), red);
    const Box box = ink();
    EXPECT_EQ(box.minX, 0);
    EXPECT_EQ(box.maxX, 99);
    EXPECT_EQ(box.maxY, 19);

    // The stroke lies inside its rectangle.
    canvas.clear(Theme::background);
    canvas.strokeRounded({10, 10, 50, 30}, 0, 2, blue);
    EXPECT_EQ(canvas.pixel(10, 25), blue);
    EXPECT_EQ(canvas.pixel(11, 25), blue);
    EXPECT_EQ(canvas.pixel(12, 25), Theme::background);
    EXPECT_EQ(canvas.pixel(59, 39), blue);
    EXPECT_EQ(canvas.pixel(9, 25), Theme::background);
    EXPECT_EQ(canvas.pixel(60, 25), Theme::background);
    canvas.strokeRounded({100, 10, 50, 30}, 400, 2, blue);
    const Box capsule = ink({90, 0, 100, 60});
    EXPECT_EQ(capsule.minX, 100);
    EXPECT_EQ(capsule.maxX, 149);
    EXPECT_EQ(capsule.minY, 10);
    EXPECT_EQ(capsule.maxY, 39);
}

TEST_F(CanvasTest, LinesHaveButtCapsAndDotsAreRound) {
    canvas.line({10, 50}, {30, 50}, 2, red);
    EXPECT_EQ(canvas.pixel(10, 49), red);
    EXPECT_EQ(canvas.pixel(29, 50), red);
    EXPECT_EQ(canvas.pixel(9, 50), Theme::background);
    EXPECT_EQ(canvas.pixel(30, 50), Theme::background);
    EXPECT_EQ(canvas.pixel(20, 51), Theme::background);

    canvas.statusDot({100, 100}, 6, blue);
    EXPECT_EQ(canvas.pixel(100, 100), blue);
    EXPECT_EQ(canvas.pixel(94, 94), Theme::background);
    const Box dot = ink({80, 80, 40, 40});
    EXPECT_EQ(dot.minX, 94);
    EXPECT_EQ(dot.maxX, 105);
}

TEST_F(CanvasTest, BarsClampAndMarkTheCentre) {
    const Rect track{100, 100, 200, 10};
    canvas.bar(track, 0, false, red, blue);
    EXPECT_EQ(canvas.pixel(150, 105), blue);
    EXPECT_EQ(count(red), 0);

    canvas.bar(track, 1.7, false, red, blue);
    EXPECT_EQ(canvas.pixel(150, 105), red);
    EXPECT_EQ(canvas.pixel(295, 105), red);
    EXPECT_EQ(count(blue), 0);

    canvas.bar(track, 0.5, true, red, blue);
    EXPECT_EQ(canvas.pixel(200, 105), red);
    EXPECT_EQ(canvas.pixel(201, 105), red);
    EXPECT_EQ(canvas.pixel(199, 105), blue);
    EXPECT_EQ(canvas.pixel(202, 105), blue);

    canvas.bar(track, 0.25, true, red, blue);
    EXPECT_EQ(canvas.pixel(150, 105), red);
    EXPECT_EQ(canvas.pixel(199, 105), red);
    EXPECT_EQ(canvas.pixel(149, 105), blue);
    EXPECT_EQ(canvas.pixel(200, 105), blue);
}

TEST_F(CanvasTest, MetersFillFromTheBottomWithHotTopAndPeak) {
    const Rect rect{10, 0, 10, 100};
    canvas.meter(rect, 1, 0.9, Theme::meter, Theme::meterHot, blue);
    EXPECT_EQ(canvas.pixel(15, 99), Theme::meter);
    EXPECT_EQ(canvas.pixel(15, 15), Theme::meter);
    EXPECT_EQ(canvas.pixel(15, 14), Theme::meterHot);
    EXPECT_EQ(canvas.pixel(15, 0), Theme::meterHot);

    canvas.meter(rect, 0.2, 0.5, red, white, blue);
    EXPECT_EQ(canvas.pixel(15, 80), red);
    EXPECT_EQ(canvas.pixel(15, 79), blue);
    EXPECT_EQ(canvas.pixel(15, 50), red);  // the peak line
    EXPECT_EQ(canvas.pixel(15, 49), blue);
    EXPECT_EQ(canvas.pixel(15, 51), blue);

    canvas.meter(rect, 0.2, 0.9, red, white, blue);
    EXPECT_EQ(canvas.pixel(15, 10), white);

    canvas.meter(rect, 0, 0, red, white, blue);
    EXPECT_EQ(count(red) + count(white), 0);
}

TEST_F(CanvasTest, ArcsRunClockwiseWithTheGapAtTheBottom) {
    const Point centre{480, 80};
    const int top = 80 - 30;  // the pixel row on the circle straight above the centre
    canvas.arc(centre, 30, 0, false, 4, red, blue);
    EXPECT_EQ(count(red), 0);
    EXPECT_EQ(canvas.pixel(480, top), blue);
    EXPECT_EQ(canvas.pixel(480, 80 + 30), Theme::background);  // the gap

    canvas.arc(centre, 30, 0.5, true, 4, red, blue);
    EXPECT_EQ(count(red), 0);

    canvas.arc(centre, 30, 1, false, 4, red, blue);
    EXPECT_EQ(count(blue), 0);
    EXPECT_EQ(canvas.pixel(480, top), red);

    // Bipolar from the top: a value below the centre runs to the left.
    canvas.clear(Theme::background);
    canvas.arc(centre, 30, 0.1, true, 4, red, blue);
    EXPECT_EQ(canvas.pixel(480 - 30, 80), red);
    EXPECT_EQ(canvas.pixel(480 + 30, 80), blue);
}

TEST_F(CanvasTest, ArcStartsAFreshPath) {
    // Text leaves Cairo with a current point; an arc must not join it with a line.
    canvas.text("Track", {0, 0, 100, 20}, canvas.font(13), white, TextAlign::left);
    canvas.arc({700, 120}, 20, 1, false, 2, red, blue);
    EXPECT_TRUE(ink({120, 0, 540, 160}).empty());
}

TEST_F(CanvasTest, TextOutsideTheRulesDrawsNothing) {
    const Font font = canvas.font(13);
    EXPECT_EQ(canvas.text("", {0, 0, 100, 20}, font, white, TextAlign::left), 0);
    EXPECT_EQ(canvas.text("Name", {0, 0, 0, 20}, font, white, TextAlign::left), 0);
    EXPECT_EQ(canvas.text("Name", {0, 0, -5, 20}, font, white, TextAlign::left), 0);
    EXPECT_TRUE(ink().empty());
}

TEST_F(CanvasTest, TextReturnsItsWidthAndSitsWhereAligned) {
    const Font font = canvas.font(20, FontWeight::bold);
    const Rect rect{0, 40, 120, 40};
    const double w = canvas.text("HH", rect, font, white, TextAlign::left);
    EXPECT_DOUBLE_EQ(w, canvas.textWidth("HH", font));
    EXPECT_GT(w, 20);
    Box box = ink();
    EXPECT_NEAR(box.minX, 0, 2);
    EXPECT_NEAR(box.maxX + 1, w, 2);
    // Capitals sit centred on the middle of the rectangle.
    EXPECT_NEAR(box.midY(), rect.midY(), 1);
    EXPECT_NEAR(box.maxY - box.minY + 1, font.capHeight(), 1.5);

    canvas.clear(Theme::background);
    canvas.text("HH", rect, font, white, TextAlign::center);
    box = ink();
    EXPECT_NEAR(box.midX(), 60, 1.5);

    canvas.clear(Theme::background);
    canvas.text("HH", rect, font, white, TextAlign::right);
    box = ink();
    EXPECT_NEAR(box.maxX + 1, 120, 2);
    EXPECT_NEAR(box.minX, 120 - w, 2);
}

TEST_F(CanvasTest, WideTextIsCutWithAnEllipsis) {
    const Font font = canvas.font(13);
    const std::string name = "A very long track name that never fits";
    const Rect rect{200, 60, 100, 20};
    ASSERT_GT(canvas.textWidth(name, font), 100);
    const double w = canvas.text(name, rect, font, white, TextAlign::left);
    EXPECT_LE(w, 100);
    EXPECT_GT(w, 100 - canvas.textWidth("WW\u2026", font));
    // What was drawn is a prefix of the name and the ellipsis.
    bool matched = false;
    for (std::size_t cut = 0; cut < name.size() && !matched; ++cut) {
        matched = canvas.textWidth(name.substr(0, cut) + "\u2026", font) == w;
    }
    EXPECT_TRUE(matched);
    const Box box = ink();
    EXPECT_GE(box.minX, 199);
    EXPECT_LE(box.maxX, 300);

    // Right-aligned, the same cut text moves by whole pixels: its start is rounded.
    canvas.clear(Theme::background);
    EXPECT_EQ(canvas.text(name, rect, font, white, TextAlign::right), w);
    EXPECT_EQ(ink().minX, box.minX + std::round(300 - w) - 200);
}

TEST_F(CanvasTest, TextTooNarrowForTheEllipsisIsClipped) {
    const Font font = canvas.font(13);
    const double w = canvas.text("Name", {300, 60, 3, 20}, font, white, TextAlign::left);
    EXPECT_EQ(w, canvas.textWidth("Name", font));
    const Box box = ink();
    EXPECT_GE(box.minX, 299);
    EXPECT_LE(box.maxX, 303);
}

TEST_F(CanvasTest, InvalidUTF8IsCleanedBeforeDrawing) {
    const Font font = canvas.font(13);
    const std::string bad = "Bad \xff\xfe name \xc3";
    const double w = canvas.text(bad, {0, 0, 300, 20}, font, white, TextAlign::left);
    EXPECT_GT(w, 0);
    EXPECT_EQ(w, canvas.textWidth("Bad \uFFFD\uFFFD name \uFFFD", font));
    EXPECT_FALSE(ink().empty());
}

TEST_F(CanvasTest, FontsAreCachedPerKeyAndShapeDigits) {
    EXPECT_EQ(canvas.font(13, FontWeight::bold), canvas.font(13, FontWeight::bold));
    EXPECT_NE(canvas.font(13, FontWeight::bold), canvas.font(13, FontWeight::bold, true));
    EXPECT_NE(canvas.font(13, FontWeight::bold), canvas.font(13, FontWeight::medium));
    EXPECT_EQ(canvas.font(-0.0), canvas.font(0.0));

    const Font tabular = canvas.font(13, FontWeight::regular, true);
    EXPECT_DOUBLE_EQ(canvas.textWidth("1111", tabular), canvas.textWidth("0000", tabular));
    const Font proportional = canvas.font(13);
    EXPECT_LT(canvas.textWidth("1111", proportional), canvas.textWidth("0000", proportional));
    const Font fixed = canvas.font(13, FontWeight::regular, false, true);
    EXPECT_DOUBLE_EQ(canvas.textWidth("iiii", fixed), canvas.textWidth("MMMM", fixed));
    // Absolute pixel sizes: Inter's capitals are about 0.73 em.
    EXPECT_NEAR(canvas.font(20).capHeight(), 14.5, 0.5);
    EXPECT_GT(canvas.textWidth("Tempo", canvas.font(20, FontWeight::bold)),
              canvas.textWidth("Tempo", canvas.font(20)));
}

TEST_F(CanvasTest, ChipsAreFilledWhenOnAndOutlinedWhenOff) {
    const Font font = canvas.font(11, FontWeight::bold);
    canvas.chip("M", {100, 50, 40, 20}, font, true, red, blue, white, blue);
    EXPECT_EQ(canvas.pixel(102, 52), red);
    EXPECT_GT(count(white), 0);
    EXPECT_EQ(count(blue), 0);

    canvas.chip("", {200, 50, 40, 20}, font, false, red, white, red, red);
    EXPECT_EQ(canvas.pixel(220, 60), Theme::background);  // no fill when off
    const Box outline = ink({150, 40, 200, 40});
    EXPECT_EQ(outline.minX, 200);
    EXPECT_EQ(outline.maxX, 239);
    EXPECT_EQ(outline.minY, 50);
    EXPECT_EQ(outline.maxY, 69);

    canvas.clear(Theme::background);
    canvas.chip("S", {300, 50, 40, 20}, font, false, red, white, red, blue);
    EXPECT_GT(count(blue), 0);
    EXPECT_EQ(count(red), 0);
}

std::string tempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / (name + "-" + std::to_string(getpid()) + ".png"))
        .string();
}

using Image = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;

DisplayColor imagePixel(cairo_surface_t* image, int x, int y) {
    const unsigned char* p =
        cairo_image_surface_get_data(image) + y * cairo_image_surface_get_stride(image) + 4 * x;
    return DisplayColor(p[2], p[1], p[0]);
}

TEST_F(CanvasTest, PNGShowsWhatTheDisplayShowsEnlarged) {
    canvas.fill({0, 0, 1, 1}, DisplayColor(7, 3, 7));
    canvas.fill({1, 0, 1, 1}, white);
    canvas.fill({2, 0, 1, 1}, DisplayColor(0x6B, 0x9A, 0xC3));
    const std::string bgr = tempPath("canvas-bgr"), rgb = tempPath("canvas-rgb");
    canvas.writePNG(bgr, 2, PixelOrder::bgr565);
    canvas.writePNG(rgb, 2, PixelOrder::rgb565);

    Image image(cairo_image_surface_create_from_png(bgr.c_str()), cairo_surface_destroy);
    ASSERT_EQ(cairo_surface_status(image.get()), CAIRO_STATUS_SUCCESS);
    EXPECT_EQ(cairo_image_surface_get_width(image.get()), 1920);
    EXPECT_EQ(cairo_image_surface_get_height(image.get()), 320);
    EXPECT_EQ(cairo_image_surface_get_format(image.get()), CAIRO_FORMAT_RGB24);  // opaque
    for (auto [x, y] : {std::pair{0, 0}, {1, 0}, {0, 1}, {1, 1}}) {
        EXPECT_EQ(imagePixel(image.get(), x, y), DisplayColor(0, 0, 0));
        EXPECT_EQ(imagePixel(image.get(), 2 + x, y), white);
        EXPECT_EQ(imagePixel(image.get(), 4 + x, y), DisplayColor(0x6B, 0x9A, 0xC6));
    }
    EXPECT_EQ(imagePixel(image.get(), 1919, 319),
              unpack(PixelOrder::bgr565, pack(PixelOrder::bgr565, 0x0B, 0x0D, 0x10)));

    Image other(cairo_image_surface_create_from_png(rgb.c_str()), cairo_surface_destroy);
    ASSERT_EQ(cairo_surface_status(other.get()), CAIRO_STATUS_SUCCESS);
    cairo_surface_flush(image.get());
    EXPECT_EQ(
        std::memcmp(cairo_image_surface_get_data(image.get()), cairo_image_surface_get_data(other.get()),
                    static_cast<std::size_t>(cairo_image_surface_get_stride(image.get())) * 320),
        0);
    std::filesystem::remove(bgr);
    std::filesystem::remove(rgb);
}

TEST_F(CanvasTest, PNGFailuresAreErrorsThatSaySo) {
    auto message = [&](const std::filesystem::path& path, int scale) -> std::string {
        try {
            canvas.writePNG(path, scale, PixelOrder::bgr565);
        } catch (const PNGWriteError& error) {
            return error.what();
        }
        return "no error";
    };
    EXPECT_EQ(message(tempPath("zero"), 0), "PNG scale must be at least 1, not 0");
    EXPECT_EQ(message(tempPath("negative"), -3), "PNG scale must be at least 1, not -3");
    EXPECT_EQ(message(tempPath("huge"), 1000000), "PNG scale 1000000 is too large: at most 34 fits an image");
    EXPECT_EQ(message("/nonexistent-folder/canvas.png", 1), "The file couldn\u2019t be saved.");
    EXPECT_FALSE(std::filesystem::exists(tempPath("zero")));
}

TEST_F(CanvasTest, EncodesAsTheFrameEncoderSeesIt) {
    canvas.fill({0, 0, 480, 160}, Theme::accent);
    canvas.text("Encode", {500, 40, 200, 40}, canvas.font(24, FontWeight::bold), white, TextAlign::center);
    const FrameEncoder encoder(PixelOrder::rgb565);
    PushFrame frame;
    canvas.withPixels([&](std::span<const std::uint8_t> pixels, std::size_t rowBytes) {
        encoder.encode(pixels, rowBytes, frame);
    });
    EXPECT_EQ(frame.bytes, encoder.encodeReference([&](int x, int y) { return canvas.pixel(x, y); }));
}

}  // namespace
}  // namespace corvane
