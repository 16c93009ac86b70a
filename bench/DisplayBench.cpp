// The display's frame path: encoding against plain copies of the same bytes, drawing a typical
// frame, and one scheduler cycle.

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

#include "PushDisplay/DisplayFormat.h"
#include "PushDisplay/FrameEncoder.h"

namespace corvane {
namespace {

constexpr std::size_t rowBytes = 3840;
constexpr std::size_t bitmapBytes = rowBytes * DisplayFormat::height;

std::vector<std::uint8_t> randomBitmap() {
    std::vector<std::uint8_t> bitmap(bitmapBytes);
    std::mt19937 random(1);
    for (auto& byte : bitmap) byte = static_cast<std::uint8_t>(random());
    return bitmap;
}

void BM_Encode(benchmark::State& state) {
    const auto bitmap = randomBitmap();
    const FrameEncoder encoder(PixelOrder::bgr565);
    PushFrame frame;
    for (auto _ : state) {
        encoder.encode(bitmap, rowBytes, frame);
        benchmark::DoNotOptimize(frame.bytes.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_Encode)->Unit(benchmark::kMicrosecond);

void BM_EncodeReference(benchmark::State& state) {
    const auto bitmap = randomBitmap();
    const FrameEncoder encoder(PixelOrder::bgr565);
    for (auto _ : state) {
        auto bytes = encoder.encodeReference([&](int x, int y) {
            const std::uint8_t* p = &bitmap[y * rowBytes + 4 * x];
            return DisplayColor(p[2], p[1], p[0]);
        });
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(BM_EncodeReference)->Unit(benchmark::kMicrosecond);

// The encoder's memory traffic without its work: each 3,840-byte source row read, each
// 2,048-byte line written.
void BM_MemcpySameBytes(benchmark::State& state) {
    const auto bitmap = randomBitmap();
    PushFrame frame;
    alignas(64) std::uint8_t row[rowBytes];
    for (auto _ : state) {
        for (int y = 0; y < DisplayFormat::height; ++y) {
            std::memcpy(row, bitmap.data() + y * rowBytes, rowBytes);
            benchmark::DoNotOptimize(row);
            std::memcpy(frame.bytes.data() + y * DisplayFormat::lineBytes, row, DisplayFormat::lineBytes);
        }
        benchmark::DoNotOptimize(frame.bytes.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_MemcpySameBytes)->Unit(benchmark::kMicrosecond);

// The obvious loop: one pixel, one pack and two shaped byte stores at a time.
void BM_EncodePerPixel(benchmark::State& state) {
    const auto bitmap = randomBitmap();
    PushFrame frame;
    PixelOrder order = PixelOrder::bgr565;
    benchmark::DoNotOptimize(order);
    for (auto _ : state) {
        std::uint8_t* out = frame.bytes.data();
        for (int y = 0; y < DisplayFormat::height; ++y) {
            const std::uint8_t* row = bitmap.data() + y * rowBytes;
            std::size_t i = static_cast<std::size_t>(y) * DisplayFormat::lineBytes;
            for (int x = 0; x < DisplayFormat::width; ++x, i += 2) {
                const std::uint16_t v = pack(order, row[4 * x + 2], row[4 * x + 1], row[4 * x]);
                out[i] = static_cast<std::uint8_t>(v) ^ DisplayFormat::xorPattern[i % 4];
                out[i + 1] = static_cast<std::uint8_t>(v >> 8) ^ DisplayFormat::xorPattern[(i + 1) % 4];
            }
            for (int f = 0; f < DisplayFormat::fillerBytes; ++f, ++i)
                out[i] = DisplayFormat::xorPattern[i % 4];
        }
        benchmark::DoNotOptimize(frame.bytes.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_EncodePerPixel)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace corvane
