#include "corvane_diag/DisplayCommands.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <optional>
#include <thread>

#include "PushDisplay/Canvas.h"
#include "PushDisplay/DisplayFormat.h"
#include "PushDisplay/FrameEncoder.h"
#include "PushDisplay/PixelOrder.h"
#include "PushDisplay/PushFrame.h"
#include "PushDisplay/TestPatterns.h"
#include "corvane_diag/CommandRun.h"
#include "core/TextPieces.h"
#include "corvane_diag/TextFormat.h"
#include "hardware/USBDisplay.h"
#include "hardware/USBDisplayError.h"
#include "platform/Clock.h"

namespace corvane {

namespace {

using Clock = std::chrono::steady_clock;

constexpr double transferTimeout = 1.0;
// The longest wait the commands make, about 31 years: every deadline and sleep stays far inside
// what the clock's nanoseconds hold.
constexpr double longestWait = 1e9;
// The slowest rate whose period is a wait that fits.
constexpr double slowestRate = 1 / longestWait;

PixelOrder pixelOrder(const Arguments& arguments) {
    auto text = arguments.option("--order");
    return text && *text == "rgb565" ? PixelOrder::rgb565 : PixelOrder::bgr565;
}

// Milliseconds the encode took.
double encode(Canvas& canvas, PixelOrder order, PushFrame& frame) {
    const std::uint64_t start = MonotonicClock::nanoseconds();
    canvas.withPixels([&](std::span<const std::uint8_t> pixels, std::size_t bytesPerRow) {
        FrameEncoder(order).encode(pixels, bytesPerRow, frame);
    });
    return static_cast<double>(MonotonicClock::nanoseconds() - start) / 1e6;
}

std::shared_ptr<USBDisplay> openDisplay(CommandRun& run) {
    try {
        return USBDisplay::openFirst(*run.environment().usb());
    } catch (const std::exception& error) {
        run.print(std::string("error: ") + error.what());
        return nullptr;
    }
}

// `seconds` as the clock counts them, 0 for none or less (or not a number), at most longestWait.
Clock::duration asWait(double seconds) {
    if (!(seconds > 0)) return Clock::duration::zero();
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(std::min(seconds, longestWait)));
}

void pause(double seconds) {
    const Clock::duration length = asWait(seconds);
    if (length > Clock::duration::zero()) std::this_thread::sleep_for(length);
}

// A rate whose period is a pause that fits; 0, less, not a number or slower is not one.
bool usableRate(double rate) { return std::isfinite(rate) && rate >= slowestRate; }

Clock::time_point deadline(double seconds) { return Clock::now() + asWait(seconds); }

}  // namespace

std::vector<double> parseRates(const std::string& text) {
    std::vector<double> rates;
    for (std::string_view item : textPieces(text, ",")) {
        if (auto rate = parseNumber(item)) rates.push_back(*rate);
    }
    return rates;
}

int displayTestCommand(DiagEnvironment& environment) {
    auto run = CommandRun::create(environment);
    const Arguments& arguments = environment.arguments;
    const PixelOrder order = pixelOrder(arguments);
    const double seconds = arguments.number("--seconds").value_or(10);
    const std::optional<double> fps = arguments.number("--fps");
    // A rate of 0 or less would pause forever, or not at all; one barely above 0 would pause
    // longer than a sleep can hold.
    if (fps && !usableRate(*fps)) {
        run->print("error: --fps must be a number of frames a second, at least 0.000000001");
        return 1;
    }
    const double interval = fps ? 1 / *fps : 0.1;

    Canvas canvas;
    TestPatterns::colorBars(canvas, order);
    PushFrame frame;
    const double encodeMs = encode(canvas, order, frame);

    auto display = openDisplay(*run);
    if (!display) return 1;
    run->print("opened Push display (PID 0x" + TextFormat::hex(display->productID()) + "), encode " +
               TextFormat::fixed(encodeMs, 2) + " ms");
    int sent = 0;
    try {
        const Clock::time_point end = deadline(seconds);
        if (Clock::now() < end) {
            const double first = display->send(frame, transferTimeout);
            run->print("first frame transfer: " + TextFormat::fixed(first * 1000, 2) + " ms");
            ++sent;
            pause(interval);
            while (Clock::now() < end) {
                display->send(frame, transferTimeout);
                ++sent;
                pause(interval);
            }
        }
    } catch (const std::exception& error) {
        run->print(std::string("error: ") + error.what());
        return 1;
    }
    display->close();
    run->print("done, " + std::to_string(sent) + " frames sent");
    return 0;
}

int displaySweepCommand(DiagEnvironment& environment) {
    auto run = CommandRun::create(environment);
    const Arguments& arguments = environment.arguments;
    const PixelOrder order = pixelOrder(arguments);
    const double stageSeconds = arguments.number("--stage-seconds").value_or(8);
    const std::vector<double> rates = parseRates(arguments.option("--rates").value_or("30,15,10,5,3,2"));
    for (double rate : rates) {
        if (!usableRate(rate)) {
            run->print("error: --rates must list frame rates of at least 0.000000001");
            return 1;
        }
    }

    Canvas canvas;
    auto display = openDisplay(*run);
    if (!display) return 1;
    const int count = static_cast<int>(rates.size());
    try {
        for (int stage = 1; stage <= count; ++stage) {
            const double rate = rates[stage - 1];
            TestPatterns::sweepStage(canvas, stage, count, rate, order);
            PushFrame frame;
            encode(canvas, order, frame);
            run->print("stage " + std::to_string(stage) + ": " + TextFormat::shortest(rate) + " fps for " +
                       TextFormat::shortest(stageSeconds) + " s");
            const Clock::time_point end = deadline(stageSeconds);
            double worst = 0;
            while (Clock::now() < end) {
                const Clock::time_point noted = Clock::now();
                worst = std::max(worst, display->send(frame, transferTimeout));
                pause(1 / rate - std::chrono::duration<double>(Clock::now() - noted).count());
            }
            run->print("  worst transfer " + TextFormat::fixed(worst * 1000, 2) + " ms");
        }
    } catch (const std::exception& error) {
        run->print(std::string("error: ") + error.what());
        return 1;
    }
    display->close();
    return 0;
}

}  // namespace corvane
