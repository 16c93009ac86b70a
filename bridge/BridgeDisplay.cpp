// The display: attaching it to the scheduler, which screen to draw, and the status model.

#include <charconv>
#include <exception>

#include "PushDisplay/DeviceScreen.h"
#include "PushDisplay/MixScreen.h"
#include "PushDisplay/ScaleScreen.h"
#include "PushDisplay/SetupScreen.h"
#include "PushDisplay/StatusScreen.h"
#include "PushDisplay/TrackPageScreen.h"
#include "PushDisplay/TracksScreen.h"
#include "PushDisplay/TracksScreenModel.h"
#include "bridge/Bridge.h"
#include "bridge/Version.h"
#include "core/StateKeys.h"

namespace corvane {

namespace {

constexpr double statusScreenAfterConnecting = 1.5;

// printf's "%.Nf" without the locale.
std::string fixed(double value, int precision) {
    char buffer[400];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision);
    if (error != std::errc()) return "?";
    return std::string(buffer, end);
}

std::string describe(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown error";
    }
}

std::string hexadecimal(int value) {
    char buffer[16];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, 16).ptr;
    return std::string(buffer, end);
}

}  // namespace

void Bridge::setUpDisplay() {
    std::weak_ptr<Bridge> weak = weak_from_this();
    displayMonitor_->onAttach = [weak](const std::shared_ptr<USBDisplay>& display) {
        auto self = weak.lock();
        if (!self) return;
        self->log_.info([&] { return "Push display attached (PID 0x" + hexadecimal(display->productID()) + ")"; });
        self->scheduler_->setSink(display);
        self->displayProblem_.reset();
        self->publishStatus();
    };
    displayMonitor_->onDetach = [weak] {
        auto self = weak.lock();
        if (!self) return;
        self->log_.info([] { return "Push display detached"; });
        self->scheduler_->setSink(nullptr);
        self->displayProblem_.reset();
        self->publishStatus();
    };
    displayMonitor_->onError = [weak](const USBDisplayError& error) {
        auto self = weak.lock();
        if (!self) return;
        self->log_.warning([&] { return "display open failed: " + std::string(error.what()); });
        self->displayProblem_ = "Push display: " + std::string(error.what());
        self->publishStatus();
    };
    scheduler_->setOnTransferError([weak](std::exception_ptr error, const std::shared_ptr<FrameSink>& sink) {
        auto self = weak.lock();
        if (!self) return;
        // A frame still on its way to a display unplugged (and perhaps already replaced) fails;
        // that is no news about the display open now.
        if (!self->displayMonitor_->isOpen(sink)) {
            self->log_.debug(
                [&] { return "display transfer failed on a display already closed: " + describe(error); });
            return;
        }
        self->log_.warning(
            [&] { return "display transfer failed: " + describe(error) + "; retrying with backoff"; });
        self->displayMonitor_->transferFailed(sink);
    });
    displayMonitor_->start();
}

BridgeScreen Bridge::screen() const {
    if (local_.scaleOverlay) return BridgeScreen::scale;
    if (local_.setup.open) return BridgeScreen::setup;
    if (!cubaseConnected_ || now() - connectedAt_ < statusScreenAfterConnecting || protocolProblem_)
        return BridgeScreen::status;
    switch (StateKeys::currentPage(state_)) {
        case StateKeys::Page::track: return BridgeScreen::track;
        case StateKeys::Page::mix: return BridgeScreen::mix;
        case StateKeys::Page::device: return BridgeScreen::device;
        case StateKeys::Page::tracks: return BridgeScreen::tracks;
    }
    return BridgeScreen::track;
}

void Bridge::draw(Canvas& canvas) {
    // Every screen repaints the whole display.
    switch (screen()) {
        case BridgeScreen::scale: ScaleScreen::draw(canvas, local_.pads); break;
        case BridgeScreen::setup: SetupScreen::draw(canvas, local_.setup, statusModel()); break;
        case BridgeScreen::status: StatusScreen::draw(canvas, statusModel()); break;
        case BridgeScreen::track: TrackPageScreen::draw(canvas, state_, touched_); break;
        case BridgeScreen::mix: MixScreen::draw(canvas, state_, touched_); break;
        case BridgeScreen::device: DeviceScreen::draw(canvas, state_, touched_); break;
        case BridgeScreen::tracks: TracksScreen::draw(canvas, TracksScreenModel(state_)); break;
    }
    // An expired popup stays until the next one replaces it, but is no longer drawn.
    if (const auto popup = visiblePopup()) popup->draw(canvas);
}

StatusModel Bridge::statusModel() const {
    StatusModel model;
    model.cubaseConnected = cubaseConnected_;
    model.hostDescription = hostDescription();
    model.scriptVersion = scriptVersion_;
    model.bridgeVersion = std::string(bridgeVersion);
    model.protocolProblem = protocolProblem_;
    model.diagnostics = diagnosticsLines();
    return model;
}

std::vector<std::string> Bridge::diagnosticsLines() const {
    const Counters counted = counters();
    const DisplayStats stats = scheduler_->stats();

    std::string pads = "pads        " + local_.pads.summary() + ", oct " + std::to_string(local_.pads.octave);
    if (local_.repeatOn) pads += ", repeat " + std::string(name(local_.repeatRate));
    if (local_.accent) pads += ", accent";

    return {
        "push midi   " + std::string(pushConnected() ? "connected" : "waiting"),
        "display     " + std::string(displayMonitor_->display() ? "attached" : "waiting"),
        "cubase      " + std::string(cubaseConnected_ ? "connected" : "waiting") + "  hb " +
            (cubaseConnected_ ? fixed(now() - lastHeartbeat_, 1) + " s ago" : "—"),
        pads,
        "midi push→  " + std::to_string(counted.midiFromPush) + "  →push " + std::to_string(counted.midiToPush),
        "midi cub→   " + std::to_string(counted.midiFromCubase) + "  →cub " + std::to_string(counted.midiToCubase),
        "render " + fixed(stats.lastRenderMs, 2) + "  enc " + fixed(stats.lastEncodeMs, 2) + "  usb " +
            fixed(stats.lastTransferMs, 1) + " ms",
        "fps " + fixed(stats.renderFPS, 1) + "  sent " + std::to_string(stats.framesSent) + "  ka " +
            std::to_string(stats.keepAlivesSent) + "  err " + std::to_string(stats.transferErrors),
    };
}

DisplayStats Bridge::displayStats() const { return scheduler_->stats(); }

}  // namespace corvane
