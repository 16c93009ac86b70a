// The Push's button LEDs and pad colours, kept in step with the host state and the local pages.

#include <algorithm>
#include <array>
#include <chrono>
#include <string>
#include <vector>

#include "bridge/Bridge.h"
#include "core/LEDPlan.h"
#include "core/PadPalette.h"
#include "core/StateKeys.h"
#include "core/Tempo.h"
#include "platform/MainQueue.h"

namespace corvane {

void Bridge::updateLEDs() {
    updatePadColors();
    LEDValues plan = LEDPlan::plan(state_, local_, cubaseConnected_);
    // Recorded even while the Push is away: the replay on reconnect puts it right.
    for (const MIDIMessage& message : LEDPlan::diff(ledsSent_, plan)) sendLED(message);
    ledsSent_ = std::move(plan);
}

void Bridge::scheduleLEDUpdate() {
    if (ledUpdatePending_) return;
    ledUpdatePending_ = true;
    onMain([](Bridge& self) {
        self.ledUpdatePending_ = false;
        self.updateLEDs();
    });
}

void Bridge::pushSendDropped() {
    // A running replay sees it, or one is on its way.
    if (!pushSendDropped_.exchange(true)) pushRefusal_->raise();
}

void Bridge::startReplay() {
    if (replay_.running) return;
    replay_.running = true;
    replay_.batch = RetryPacing::firstBatch;
    replay_.next = onMainAfter(RetryPacing::pause, [](Bridge& self) { self.replayStep(); });
}

// The Push lost messages, and what it had queued with them: everything it shows is sent again as
// on a reconnect (not its settings, which it keeps), a batch at a time. A refusal on the way
// means it lost its queue again, so the pass starts over.
void Bridge::replayStep() {
    if (!pushConnected()) {
        // It gets everything when it comes back.
        replay_ = {};
        pushSendDropped_ = false;
        return;
    }
    if (pushSendDropped_.exchange(false)) {
        replay_.cursor = {};
        replay_.sent = 0;
    }
    if (!replay_.cursor.finished()) {
        const std::size_t before = replay_.sent;
        const bool taken = sendRecordedLEDs(replay_.cursor, replay_.batch, replay_.sent);
        // Refused part of the way through, the batch was more than the Push takes at a time; refused
        // at once, it was still taking nothing, which says nothing of how much it takes.
        if (!taken && replay_.sent > before) replay_.batch = std::max<std::size_t>(1, replay_.batch / 2);
        replay_.next = onMainAfter(taken ? RetryPacing::pace : RetryPacing::pause,
                                   [](Bridge& self) { self.replayStep(); });
        return;
    }
    paletteWritten_.reset();
    updateLEDs();
    if (pushSendDropped_) {
        replay_.next = onMainAfter(RetryPacing::pause, [](Bridge& self) { self.replayStep(); });
        return;
    }
    const std::size_t restored = replay_.sent;
    replay_ = {};
    log_.info([&] { return "restored " + std::to_string(restored) + " LED states after dropped messages"; });
}

void Bridge::updatePadColors() {
    std::optional<RGB> trackColor;
    if (cubaseConnected_) trackColor = state_.color(StateKeys::selectedTrack(StateKeys::ChannelField::color));

    PadColors colors = PadColors::standard;
    if (pushConnected()) {
        if (auto entries = PadPalette::entries(trackColor)) {
            colors = PadPalette::trackColors;
            if (paletteWritten_ != entries) {
                // Ask for the Push's own entries before they are overwritten, so that shutdown
                // can put them back.
                for (const auto& entry : *entries) {
                    if (!paletteRequested_.insert(entry.index).second) continue;
                    sendToPush(PushSysEx::queryPaletteEntry(entry.index));
                }
                for (const auto& entry : *entries) sendToPush(PushSysEx::setPalette(entry));
                sendToPush(PushSysEx::reapply());
                paletteWritten_ = std::move(entries);
                paletteTouched_ = true;
            }
        }
    }

    const double tempo = Tempo::bpm(state_.string(StateKeys::Transport::tempoText)).value_or(120.0);
    pads_->update([&](PadPlayer::Config& config) {
        config.colors = colors;
        config.tempo = tempo;
    });
}

}  // namespace corvane
