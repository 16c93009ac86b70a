// The device's own pages (setup and scale), the Push settings the setup page changes, and the
// Push's replies to the bridge's queries.

#include <algorithm>
#include <array>

#include "bridge/Bridge.h"
#include "core/Overloaded.h"
#include "core/PadEngine.h"
#include "core/PushPreferencesStore.h"

namespace corvane {

namespace {

constexpr double firstQueryDelay = 0.2;
constexpr double queryInterval = 0.08;
// Long enough for the Push to have taken the new mode, so that its answer confirms it.
constexpr double aftertouchRequery = 0.1;
// Encoder units that make one step on the scale page.
constexpr std::int64_t scaleEncoderStep = 4;
constexpr int maxDisplayBrightness = 255;
constexpr int maxLEDBrightness = 127;

}  // namespace

void Bridge::setSetup(bool open, std::optional<SetupTab> tab) {
    if (open) local_.scaleOverlay = false;
    local_.setup.open = open;
    if (tab) local_.setup.tab = *tab;
    updateIntercept();
    if (open) queryPushSettings();
}

void Bridge::setScaleOverlay(bool show) {
    local_.scaleOverlay = show;
    if (show) local_.setup.open = false;
    updateIntercept();
    scaleEncoderAccumulator_.fill(0);
}

void Bridge::toggleDiagnostics() {
    setSetup(!local_.setup.showsDiagnostics(), SetupTab::diagnostics);
    scheduler_->invalidate();
    updateLEDs();
    publishStatus();
}

void Bridge::updateIntercept() {
    const bool intercept = local_.scaleOverlay || local_.setup.open;
    std::lock_guard guard(interceptLock_);
    interceptControls_ = intercept;
}

bool Bridge::setupChoice(std::int64_t index) {
    if (index < 0 || index > 7) return false;
    switch (local_.setup.tab) {
        case SetupTab::audio: {
            const auto input = static_cast<std::size_t>(index / 4);
            const auto preamp = preampFromRaw(index % 4);
            if (!preamp) return false;
            local_.setup.preamps[input] = *preamp;
            pushPreferences_.preamps[input] = *preamp;
            sendToPush(PushSysEx::preamp(static_cast<int>(input), *preamp));
            savePushPreferences();
            return true;
        }
        case SetupTab::expression: {
            const auto mode = aftertouchModeFromRaw(index);
            if (!mode) return false;
            local_.setup.aftertouch = *mode;
            pushPreferences_.aftertouch = *mode;
            sendToPush(PushSysEx::aftertouchMode(*mode));
            onMainAfter(aftertouchRequery, [](Bridge& self) {
                const std::array<std::uint8_t, 1> query{PushSysEx::getAftertouchMode};
                self.sendToPush(PushSysEx::message(query));
            });
            savePushPreferences();
            return true;
        }
        case SetupTab::display:
        case SetupTab::diagnostics: return false;
    }
    return false;
}

bool Bridge::setupBrightness(std::int64_t knob, std::int64_t delta) {
    // Deltas are -64...63; anything wider is kept to that before it becomes an int.
    const int step = static_cast<int>(std::clamp<std::int64_t>(delta, -64, 63));
    if (knob == 0) {
        const int value = SetupState::stepped(local_.setup.displayBrightness, maxDisplayBrightness, step);
        local_.setup.displayBrightness = value;
        pushPreferences_.displayBrightness = value;
        sendToPush(PushSysEx::displayBrightness(value));
    } else if (knob == 1) {
        const int value = SetupState::stepped(local_.setup.ledBrightness, maxLEDBrightness, step);
        local_.setup.ledBrightness = value;
        pushPreferences_.ledBrightness = value;
        sendToPush(PushSysEx::ledBrightness(value));
    } else {
        return false;
    }
    savePushPreferences();
    return true;
}

bool Bridge::scaleEncoder(std::int64_t index, std::int64_t delta) {
    if (index < 0 || index > 7) return false;
    std::int64_t& sum = scaleEncoderAccumulator_[static_cast<std::size_t>(index)];
    sum += delta;
    if (sum > -scaleEncoderStep && sum < scaleEncoderStep) return false;
    const int step = sum > 0 ? 1 : -1;
    sum = 0;

    const PadSettings before = local_.pads;
    PadSettings& pads = local_.pads;
    switch (index) {
        case 0: pads.root = (pads.root + step + 12) % 12; break;
        case 1: {
            const int last = static_cast<int>(PadEngine::scales().size()) - 1;
            pads.scaleIndex = std::clamp(pads.scaleIndex + step, 0, last);
            break;
        }
        case 2:
            pads.octave = std::clamp(pads.octave + step, PadSettingsLimits::minOctave, PadSettingsLimits::maxOctave);
            break;
        default: break;
    }
    if (pads == before) return false;
    applyPadSettings();
    return true;
}

void Bridge::savePushPreferences() {
    for (auto& [key, value] : PushPreferencesStore::values(pushPreferences_)) settings_->set(key, std::move(value));
}

void Bridge::restorePushPreferences() {
    for (const Bytes& message : pushPreferences_.messages()) sendToPush(message);
    queryPushSettings();
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
        // What the Push reports is shown; the saved preferences stay as the user chose them.
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
