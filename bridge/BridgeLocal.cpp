// Input the device handles itself, and the Push's replies to the bridge's queries.

#include "bridge/Bridge.h"
#include "core/Overloaded.h"
#include "core/PadStore.h"

namespace corvane {

namespace {

constexpr double latchHold = 0.4;  // a hold longer than this acts only while held
constexpr double firstQueryDelay = 0.2;
constexpr double queryInterval = 0.08;

}  // namespace

void Bridge::handleLocal(const PushInput& input) {
    bool handled = false;
    if (const auto* touch = input.as<PushInput::TrackEncoderTouch>()) {
        if (touch->index >= 0 && touch->index < static_cast<std::int64_t>(touched_.size())) {
            touched_[static_cast<std::size_t>(touch->index)] = touch->touched;
            handled = true;
        }
    } else if (const auto* scene = input.as<PushInput::SceneButton>()) {
        if (scene->pressed && local_.repeatOn) {
            if (auto rate = repeatRateFromSceneButton(static_cast<int>(scene->index))) {
                local_.repeatRate = *rate;
                pads_->update([&](PadPlayer::Config& config) { config.repeatRate = *rate; });
                settings_->set(PadStore::repeatRateKey, std::int64_t{rawValue(*rate)});
                handled = true;
            }
        }
    } else if (const auto* button = input.as<PushInput::Button>()) {
        if (button->button == PushMIDIMap::Button::repeatButton) {
            latch(local_.repeatOn, button->pressed, repeatPressedAt_);
            const bool repeatOn = local_.repeatOn;
            pads_->update([&](PadPlayer::Config& config) { config.repeatOn = repeatOn; });
            {
                std::lock_guard guard(interceptLock_);
                scenesPickRepeatRates_ = repeatOn;
            }
            handled = true;
        }
    }
    if (!handled) return;
    scheduler_->invalidate();
    updateLEDs();
    publishStatus();
}

void Bridge::latch(bool& flag, bool pressed, std::optional<double>& since) {
    if (pressed) {
        flag = !flag;
        since = flag ? std::optional<double>(now()) : std::nullopt;
        return;
    }
    if (since && now() - *since > latchHold) flag = false;
    since.reset();
}

void Bridge::toggleDiagnostics() {
    const bool open = !local_.setup.showsDiagnostics();
    if (open) local_.scaleOverlay = false;
    local_.setup.open = open;
    local_.setup.tab = SetupTab::diagnostics;
    {
        std::lock_guard guard(interceptLock_);
        interceptControls_ = local_.scaleOverlay || local_.setup.open;
    }
    if (open) queryPushSettings();
    scheduler_->invalidate();
    updateLEDs();
    publishStatus();
}

void Bridge::queryPushSettings() {
    const std::vector<Bytes> queries = PushSysEx::settingsQueries();
    for (std::size_t i = 0; i < queries.size(); ++i) {
        onMainAfter(firstQueryDelay + static_cast<double>(i) * queryInterval, [query = queries[i]](Bridge& self) {
            if (self.pushConnected()) self.sendToPush(query);
        });
    }
}

void Bridge::handlePushSysEx(const Bytes& body) {
    if (auto reply = PushSysEx::reply(body)) {
        using Reply = PushSysEx::Reply;
        const bool changed = std::visit(Overloaded{
                                            [&](const Reply::LEDBrightness& r) {
                                                local_.setup.ledBrightness = r.value;
                                                return true;
                                            },
                                            [&](const Reply::DisplayBrightness& r) {
                                                local_.setup.displayBrightness = r.value;
                                                return true;
                                            },
                                            [&](const Reply::Aftertouch& r) {
                                                local_.setup.aftertouch = r.mode;
                                                return true;
                                            },
                                            [](const Reply::VelocityCurveEntry&) { return false; },
                                        },
                                        reply->value);
        if (changed) {
            scheduler_->invalidate();
            updateLEDs();
        }
        return;
    }
    const auto entry = PushSysEx::decodePaletteEntry(body);
    if (!entry || !paletteRequested_.contains(entry->index) || paletteOriginals_.contains(entry->index)) return;
    paletteOriginals_[entry->index] = *entry;
    log_.info([&] { return "palette entry " + std::to_string(entry->index) + " saved for restore"; });
}

}  // namespace corvane
