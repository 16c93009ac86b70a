#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "PushDisplay/DisplayFormat.h"
#include "PushDisplay/FrameEncoder.h"

namespace corvane {
namespace {

constexpr std::size_t rowBytes = 3840;

// A 960 x 160 BGRA bitmap with every pixel the same colour and alpha.
std::vector<std::uint8_t> solidBitmap(DisplayColor c, std::size_t bytesPerRow = rowBytes) {
    std::vector<std::uint8_t> bitmap(bytesPerRow * DisplayFormat::height, 0x5A);
    for (int y = 0; y < DisplayFormat::height; ++y) {
        for (int x = 0; x < DisplayFormat::width; ++x) {
            std::uint8_t* p = &bitmap[y * bytesPerRow + 4 * x];
            p[0] = c.b, p[1] = c.g, p[2] = c.r, p[3] = 0xFF;
        }
    }
    return bitmap;
}

PushFrame encoded(const std::vector<std::uint8_t>& bitmap, PixelOrder order,
                  std::size_t bytesPerRow = rowBytes) {
    PushFrame frame;
    FrameEncoder(order).encode(bitmap, bytesPerRow, frame);
    return frame;
}

void expectFiller(const PushFrame& frame, int line) {
    for (int i = 0; i < DisplayFormat::fillerBytes; ++i) {
        ASSERT_EQ(frame.bytes[line * DisplayFormat::lineBytes + 1920 + i], DisplayFormat::xorPattern[i % 4])
            << "line " << line << " filler byte " << i;
    }
}

TEST(PixelOrderTest, RawValuesMatchExactly) {
    EXPECT_EQ(pixelOrderFromRawValue("bgr565"), PixelOrder::bgr565);
    EXPECT_EQ(pixelOrderFromRawValue("rgb565"), PixelOrder::rgb565);
    EXPECT_EQ(pixelOrderFromRawValue("BGR565"), std::nullopt);
    EXPECT_EQ(pixelOrderFromRawValue(""), std::nullopt);
    EXPECT_EQ(pixelOrderFromRawValue("rgb565 "), std::nullopt);
    EXPECT_EQ(rawValue(PixelOrder::rgb565), "rgb565");
    EXPECT_EQ(allPixelOrders[0], PixelOrder::bgr565);
    EXPECT_EQ(allPixelOrders[1], PixelOrder::rgb565);
}

TEST(PixelOrderTest, PackingDropsLowBitsAndUnpackingRepeatsTopBits) {
    EXPECT_EQ(pack(PixelOrder::bgr565, 255, 0, 0), 0x001F);
    EXPECT_EQ(pack(PixelOrder::rgb565, 255, 0, 0), 0xF800);
    for (PixelOrder order : allPixelOrders) {
        EXPECT_EQ(pack(order, 7, 3, 7), 0);
        EXPECT_EQ(unpack(order, pack(order, 8, 4, 8)), DisplayColor(8, 4, 8));
        EXPECT_EQ(unpack(order, 0xFFFF), DisplayColor(255, 255, 255));
        EXPECT_EQ(unpack(order, pack(order, 0x6B, 0x9A, 0xC3)), DisplayColor(0x6B, 0x9A, 0xC6));
    }
    EXPECT_EQ(unpack(PixelOrder::rgb565, 0xF800), DisplayColor(255, 0, 0));
    EXPECT_EQ(unpack(PixelOrder::bgr565, 0xF800), DisplayColor(0, 0, 255));
}

TEST(PushFrameTest, StartsAsZeroBlockOfTwentyChunks) {
    PushFrame frame;
    EXPECT_EQ(frame.bytes.size(), 327680u);
    EXPECT_EQ(frame.bytes, std::vector<std::uint8_t>(327680, 0));
    EXPECT_EQ(PushFrame::chunkCount(), 20);
    EXPECT_EQ(20 * DisplayFormat::chunkBytes, DisplayFormat::frameBytes);
    EXPECT_NO_THROW(checkFrameLength(frame));
    frame.bytes.pop_back();
    EXPECT_THROW(checkFrameLength(frame), FrameLengthError);
    EXPECT_STREQ(FrameLengthError(12).what(), "Display frame has 12 bytes instead of 327680");
}

TEST(FrameEncoderTest, BlackIsThePatternAlone) {
    for (PixelOrder order : allPixelOrders) {
        const PushFrame frame = encoded(solidBitmap({0, 0, 0}), order);
        for (std::size_t i = 0; i < frame.bytes.size(); ++i) {
            ASSERT_EQ(frame.bytes[i], DisplayFormat::xorPattern[i % 4]) << "byte " << i;
        }
    }
}

TEST(FrameEncoderTest, WhiteLinesThenShapedFiller) {
    const std::uint8_t white[4] = {0x18, 0x0C, 0x18, 0x00};
    for (PixelOrder order : allPixelOrders) {
        const PushFrame frame = encoded(solidBitmap({255, 255, 255}), order);
        for (int line = 0; line < DisplayFormat::height; ++line) {
            for (int i = 0; i < 1920; ++i) {
                ASSERT_EQ(frame.bytes[line * 2048 + i], white[i % 4]) << "line " << line << " byte " << i;
            }
            expectFiller(frame, line);
        }
    }
}

TEST(FrameEncoderTest, RedPixelsOnTheWire) {
    const PushFrame bgr = encoded(solidBitmap({255, 0, 0}), PixelOrder::bgr565);
    const PushFrame rgb = encoded(solidBitmap({255, 0, 0}), PixelOrder::rgb565);
    EXPECT_EQ(std::vector<std::uint8_t>(bgr.bytes.begin(), bgr.bytes.begin() + 4),
              (std::vector<std::uint8_t>{0xF8, 0xF3, 0xF8, 0xFF}));
    EXPECT_EQ(std::vector<std::uint8_t>(rgb.bytes.begin() + 2048, rgb.bytes.begin() + 2052),
              (std::vector<std::uint8_t>{0xE7, 0x0B, 0xE7, 0x07}));
}

TEST(FrameEncoderTest, MatchesReferenceOnRandomPictureInBothOrders) {
    std::mt19937 random(7);
    std::vector<std::uint8_t> bitmap(rowBytes * DisplayFormat::height);
    for (auto& byte : bitmap) byte = static_cast<std::uint8_t>(random());  // alpha random too
    auto pixel = [&](int x, int y) {
        const std::uint8_t* p = &bitmap[y * rowBytes + 4 * x];
        return DisplayColor(p[2], p[1], p[0]);
    };
    for (PixelOrder order : allPixelOrders) {
        const FrameEncoder encoder(order);
        PushFrame frame;
        encoder.encode(bitmap, rowBytes, frame);
        EXPECT_EQ(frame.bytes, encoder.encodeReference(pixel)) << rawValue(order);
    }
}

TEST(FrameEncoderTest, RowPaddingIsIgnored) {
    constexpr std::size_t padded = rowBytes + 64;
    const DisplayColor c(0x3F, 0xA9, 0xF5);
    std::vector<std::uint8_t> bitmap = solidBitmap(c, padded);
    for (PixelOrder order : allPixelOrders) {
        EXPECT_EQ(encoded(bitmap, order, padded).bytes, encoded(solidBitmap(c), order).bytes);
    }
}

TEST(FrameEncoderTest, FrameOfWrongLengthIsGivenFullLength) {
    const auto bitmap = solidBitmap({10, 200, 30});
    const PushFrame expected = encoded(bitmap, PixelOrder::rgb565);
    for (std::size_t length : {std::size_t{0}, std::size_t{100}, std::size_t{327681}}) {
        PushFrame frame{.bytes = std::vector<std::uint8_t>(length, 0xAB)};
        FrameEncoder(PixelOrder::rgb565).encode(bitmap, rowBytes, frame);
        EXPECT_EQ(frame.bytes, expected.bytes) << length;
    }
}

TEST(FrameEncoderDeathTest, StopsRatherThanReadPastTheBitmap) {
    PushFrame frame;
    const FrameEncoder encoder;
    const std::vector<std::uint8_t> bitmap(rowBytes * DisplayFormat::height);
    EXPECT_DEATH(encoder.encode(bitmap, rowBytes - 4, frame), "rows shorter");
    EXPECT_DEATH(encoder.encode(std::span(bitmap).first(bitmap.size() - 1), rowBytes, frame),
                 "buffer shorter");
    EXPECT_DEATH(encoder.encode(bitmap, rowBytes + 4, frame), "buffer shorter");
    EXPECT_DEATH(encoder.encode(bitmap, std::size_t(-1) / 100, frame), "overflows");
}

}  // namespace
}  // namespace corvane
