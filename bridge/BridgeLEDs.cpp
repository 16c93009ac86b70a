// The Push's button LEDs and pad colours, kept in step with the host state and the local pages.

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
    for (const MIDIMessage& message : LEDPlan::diff(ledsSent_, plan)) {
        recordLED(message);
        sendToPush(message.bytes());
    }
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
    if (pushSendDropped_.exchange(true)) return;  // the replay to come covers this one too
    onMain([](Bridge& self) {
        if (self.pushReplay_ && !self.pushReplay_.isCancelled()) return;
        using namespace std::chrono_literals;
        self.pushReplay_ = MainQueue::scheduleRepeating(250ms, [weak = self.weak_from_this()] {
            if (auto alive = weak.lock(); alive && !alive->stopped_) alive->replayDroppedToPush();
        });
    });
}

// The Push lost messages, and what it had queued with them: everything it shows, sent again as on
// a reconnect (not its settings, which it keeps), until once nothing is refused.
void Bridge::replayDroppedToPush() {
    if (!pushConnected()) {
        // It gets everything when it comes back.
        pushReplay_.cancel();
        pushSendDropped_ = false;
        return;
    }
    pushSendDropped_ = false;
    const std::vector<MIDIMessage> replayed = replayLEDs();
    for (const MIDIMessage& message : replayed) {
        sendToPush(message.bytes());
        // Still taking nothing: one refusal says so; the next tick tries again.
        if (pushSendDropped_) return;
    }
    paletteWritten_.reset();
    updateLEDs();
    if (pushSendDropped_) return;
    pushReplay_.cancel();
    log_.info(
        [&] { return "restored " + std::to_string(replayed.size()) + " LED states after dropped messages"; });
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
