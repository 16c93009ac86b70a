// The display's frame path: encoding against plain copies of the same bytes, drawing a typical
// frame, and one scheduler cycle.

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "PushDisplay/Canvas.h"
#include "PushDisplay/DisplayFormat.h"
#include "PushDisplay/DisplayScheduler.h"
#include "PushDisplay/FrameEncoder.h"
#include "PushDisplay/Layout.h"
#include "PushDisplay/Theme.h"
#include "platform/MainQueue.h"

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

// A screen's worth of drawing: eight filled columns, five short texts in each.
void drawColumns(Canvas& canvas, int frame) {
    const Font name = canvas.font(13, FontWeight::semibold);
    const Font value = canvas.font(19, FontWeight::bold, true);
    const Font label = canvas.font(11, FontWeight::bold);
    canvas.clear(Theme::background);
    for (int i = 0; i < Theme::columns; ++i) {
        const Rect column = Layout::column(i, 0, 160);
        canvas.fill(column.insetBy(2, 2), i == frame % 8 ? Theme::accentDim : Theme::panel);
        canvas.text("Track " + std::to_string(i + 1), {column.x, 4, 120, 18}, name, Theme::text,
                    TextAlign::center);
        canvas.text(std::to_string(frame % 100) + ".0 dB", {column.x, 30, 120, 26}, value, Theme::text,
                    TextAlign::center);
        canvas.text("Volume", {column.x, 60, 120, 16}, label, Theme::textDim, TextAlign::center);
        canvas.text("Pan C", {column.x, 100, 120, 16}, label, Theme::textDim, TextAlign::center);
        canvas.text("MUTE", {column.x, 140, 120, 16}, label, Theme::accent, TextAlign::center);
    }
}

void BM_CanvasFrame(benchmark::State& state) {
    Canvas canvas;
    int frame = 0;
    for (auto _ : state) drawColumns(canvas, frame++);
}
BENCHMARK(BM_CanvasFrame)->Unit(benchmark::kMicrosecond);

class CountingSink : public FrameSink {
public:
    double send(const PushFrame& frame) override {
        checkFrameLength(frame);
        std::lock_guard lock(mutex_);
        ++sent_;
        changed_.notify_all();
        return 0;
    }
    void waitFor(long count) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return sent_ >= count; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    long sent_ = 0;
};

// From invalidate() to the frame in the sink: render pacing, draw, encode, hand-over, send.
void BM_SchedulerCycle(benchmark::State& state) {
    int drawn = 0;
    auto scheduler = DisplayScheduler::create(PixelOrder::bgr565, 1e9, 3600,
                                              [&](Canvas& canvas) { drawColumns(canvas, drawn++); });
    auto sink = std::make_shared<CountingSink>();
    scheduler->setSink(sink);
    MainQueue::pumpUntil([&] { return drawn == 1; }, std::chrono::seconds(5));
    sink->waitFor(1);
    long expected = 1;
    for (auto _ : state) {
        const int before = drawn;
        scheduler->invalidate();
        MainQueue::pumpUntil([&] { return drawn > before; }, std::chrono::seconds(5));
        sink->waitFor(++expected);
    }
    scheduler->setSink(nullptr);
    MainQueue::pumpFor(std::chrono::milliseconds(5));
}
BENCHMARK(BM_SchedulerCycle)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace corvane
