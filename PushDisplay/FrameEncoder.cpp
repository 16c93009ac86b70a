#include "PushDisplay/FrameEncoder.h"

#include <bit>
#include <cstring>
#include <limits>

#include "PushDisplay/DisplayFormat.h"
#include "platform/Precondition.h"

namespace corvane {

// The word loads and stores below read and write the block's bytes in little-endian order.
static_assert(std::endian::native == std::endian::little,
              "the frame encoder assumes a little-endian machine");

namespace {

constexpr std::size_t sourceRowBytes = DisplayFormat::width * 4;

// A source pixel as the little-endian word B | G << 8 | R << 16 | A << 24, packed to 16 bits.
// Plain shifts and masks on whole words, so the compiler turns the line loop into vector code.
inline std::uint32_t packBGR565(std::uint32_t p) {
    return (p & 0xF8u) << 8 | (p >> 5 & 0x7E0u) | (p >> 19 & 0x1Fu);
}

inline std::uint32_t packRGB565(std::uint32_t p) {
    return (p >> 8 & 0xF800u) | (p >> 5 & 0x7E0u) | (p >> 3 & 0x1Fu);
}

// Two pixels per 32-bit store, a fixed trip count and no aliasing: the shape the vectoriser
// needs (SSE2 on x86-64, NEON on arm64) at -O2 already. On x86-64 an AVX2 copy is made as well
// and picked at load time where the processor has it.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define CORVANE_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define CORVANE_VECTOR_CLONES
#endif

template <std::uint32_t (*Pack)(std::uint32_t)>
[[gnu::always_inline]] inline void encodePixels(const std::uint8_t* __restrict src,
                                                std::uint8_t* __restrict dst) {
    for (int k = 0; k < DisplayFormat::width / 2; ++k) {
        std::uint32_t p0, p1;
        std::memcpy(&p0, src + 8 * k, 4);
        std::memcpy(&p1, src + 8 * k + 4, 4);
        const std::uint32_t word = (Pack(p0) | Pack(p1) << 16) ^ DisplayFormat::xorWord;
        std::memcpy(dst + 4 * k, &word, 4);
    }
}

CORVANE_VECTOR_CLONES void encodeLinePixels(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst,
                                            PixelOrder order) {
    if (order == PixelOrder::bgr565) {
        encodePixels<packBGR565>(src, dst);
    } else {
        encodePixels<packRGB565>(src, dst);
    }
}

// The zero filler, already shaped, laid down in 16-byte stores.
void writeFiller(std::uint8_t* dst) {
    alignas(16) static constexpr std::uint32_t pattern[4] = {DisplayFormat::xorWord, DisplayFormat::xorWord,
                                                             DisplayFormat::xorWord, DisplayFormat::xorWord};
    for (int i = 0; i < DisplayFormat::fillerBytes; i += 16) std::memcpy(dst + i, pattern, 16);
}

void encodeLine(const std::uint8_t* src, std::uint8_t* dst, PixelOrder order) {
    encodeLinePixels(src, dst, order);
    writeFiller(dst + DisplayFormat::width * DisplayFormat::bytesPerPixel);
}

}  // namespace

void FrameEncoder::encode(std::span<const std::uint8_t> bgra, std::size_t bytesPerRow,
                          PushFrame& frame) const {
    constexpr std::size_t rows = DisplayFormat::height;
    precondition(bytesPerRow >= sourceRowBytes, "display bitmap rows shorter than 3840 bytes");
    precondition(bytesPerRow <= std::numeric_limits<std::size_t>::max() / rows,
                 "display bitmap size overflows");
    precondition(bgra.size() >= bytesPerRow * rows, "display bitmap buffer shorter than its rows");
    // A block of any other length is given the full length rather than written past its end.
    frame.bytes.resize(DisplayFormat::frameBytes);
    const std::uint8_t* src = bgra.data();
    std::uint8_t* dst = frame.bytes.data();
    for (std::size_t y = 0; y < rows; ++y) {
        encodeLine(src + y * bytesPerRow, dst + y * DisplayFormat::lineBytes, pixelOrder);
    }
}

std::vector<std::uint8_t> FrameEncoder::encodeReference(
    const std::function<DisplayColor(int x, int y)>& pixel) const {
    std::vector<std::uint8_t> bytes;
    for (int y = 0; y < DisplayFormat::height; ++y) {
        for (int x = 0; x < DisplayFormat::width; ++x) {
            const DisplayColor c = pixel(x, y);
            const std::uint16_t value = pack(pixelOrder, c.r, c.g, c.b);
            bytes.push_back(static_cast<std::uint8_t>(value & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>(value >> 8));
        }
        for (int i = 0; i < DisplayFormat::fillerBytes; ++i) bytes.push_back(0);
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] ^= DisplayFormat::xorPattern[i % 4];
    return bytes;
}

}  // namespace corvane
