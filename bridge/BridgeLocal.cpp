// Input the device handles itself: the encoders and buttons of its own pages, octave, drum mode,
// accent and note repeat.

#include <algorithm>

#include "bridge/Bridge.h"
#include "core/Overloaded.h"
#include "core/PadEngine.h"
#include "core/PadStore.h"

namespace corvane {

namespace {

constexpr double latchHold = 0.4;  // a hold longer than this acts only while held

bool isIndex(std::int64_t index) { return index >= 0 && index < 8; }

}  // namespace

void Bridge::handleLocal(const PushInput& input) {
    const bool changed = std::visit(
        Overloaded{
            [&](const PushInput::TrackEncoder& turn) { return trackEncoderTurned(turn.index, turn.delta); },
            [&](const PushInput::TrackEncoderTouch& touch) {
                if (!isIndex(touch.index)) return false;
                touched_[static_cast<std::size_t>(touch.index)] = touch.touched;
                return true;
            },
            [&](const PushInput::VolumeEncoder&) {
                showMasterPopup();
                return true;
            },
            [&](const PushInput::VolumeEncoderTouch& touch) {
                if (touch.touched) showMasterPopup();
                return touch.touched;
            },
            [&](const PushInput::TempoEncoder&) {
                showTempoPopup();
                return true;
            },
            [&](const PushInput::TempoEncoderTouch& touch) {
                if (touch.touched) showTempoPopup();
                return touch.touched;
            },
            [&](const PushInput::JogWheel& turn) { return jogWheelTurned(turn.delta); },
            [&](const PushInput::UpperDisplayButton& button) {
                return button.pressed && upperDisplayButtonPressed(button.index);
            },
            [&](const PushInput::LowerDisplayButton& button) {
                return button.pressed && lowerDisplayButtonPressed(button.index);
            },
            [&](const PushInput::SceneButton& button) { return button.pressed && sceneButtonPressed(button.index); },
            [&](const PushInput::Button& button) { return buttonChanged(button.button, button.pressed); },
            [](const auto&) { return false; },
        },
        input.value);
    if (!changed) return;
    scheduler_->invalidate();
    updateLEDs();
    publishStatus();
}

bool Bridge::trackEncoderTurned(std::int64_t index, std::int64_t delta) {
    if (local_.setup.open) {
        if (local_.setup.tab != SetupTab::display || delta == 0) return false;
        return setupBrightness(index, delta);
    }
    if (local_.scaleOverlay) return scaleEncoder(index, delta);
    return false;
}

bool Bridge::jogWheelTurned(std::int64_t delta) {
    if (!local_.scaleOverlay || delta == 0) return false;
    const int last = static_cast<int>(PadEngine::scales().size()) - 1;
    local_.pads.scaleIndex = std::clamp(local_.pads.scaleIndex + (delta > 0 ? 1 : -1), 0, last);
    applyPadSettings();
    return true;
}

bool Bridge::upperDisplayButtonPressed(std::int64_t index) {
    if (!isIndex(index)) return false;
    if (local_.setup.open) {
        const auto tab = setupTabFromRaw(index);
        if (!tab) return false;
        local_.setup.tab = *tab;
        return true;
    }
    if (!local_.scaleOverlay) return false;
    if (index == 0) {
        local_.pads.layout = next(local_.pads.layout);
    } else if (index == 7) {
        local_.pads.fixed = !local_.pads.fixed;
    } else {
        local_.pads.root = PadEngine::upperRoots[static_cast<std::size_t>(index - 1)];
    }
    applyPadSettings();
    return true;
}

bool Bridge::lowerDisplayButtonPressed(std::int64_t index) {
    if (!isIndex(index)) return false;
    if (local_.setup.open) return setupChoice(index);
    if (!local_.scaleOverlay || index == 7) return false;
    if (index == 0) {
        local_.pads.inKey = !local_.pads.inKey;
    } else {
        local_.pads.root = PadEngine::lowerRoots[static_cast<std::size_t>(index - 1)];
    }
    applyPadSettings();
    return true;
}

bool Bridge::sceneButtonPressed(std::int64_t index) {
    if (!local_.repeatOn) {
        // The button went to the script too, which sets the marker.
        showMessage("MARKER", std::to_string(index + 1));
        return true;
    }
    if (!isIndex(index)) return false;
    const auto rate = repeatRateFromSceneButton(static_cast<int>(index));
    if (!rate) return false;
    local_.repeatRate = *rate;
    pads_->update([&](PadPlayer::Config& config) { config.repeatRate = *rate; });
    settings_->set(PadStore::repeatRateKey, std::int64_t{rawValue(*rate)});
    showMessage("REPEAT", std::string(name(*rate)));
    return true;
}

bool Bridge::buttonChanged(PushMIDIMap::Button button, bool pressed) {
    using Button = PushMIDIMap::Button;
    // Repeat and accent act on release too; every other button on its press only.
    if (button == Button::repeatButton) {
        latch(local_.repeatOn, pressed, repeatPressedAt_);
        applyRepeat();
        if (pressed) showMessage("REPEAT", local_.repeatOn ? std::string(name(local_.repeatRate)) : "Off");
        return true;
    }
    if (button == Button::accent) {
        latch(local_.accent, pressed, accentPressedAt_);
        applyAccent();
        if (pressed) showMessage("ACCENT", local_.accent ? "On" : "Off");
        return true;
    }
    if (!pressed) return false;
    switch (button) {
        case Button::tapTempo: showTempoPopup(); return true;
        case Button::volumePress: showMasterPopup(); return true;
        case Button::setup: setSetup(!local_.setup.open, std::nullopt); return true;
        case Button::scale: setScaleOverlay(!local_.scaleOverlay); return true;
        case Button::layout:
            local_.pads.drums = !local_.pads.drums;
            applyPadSettings();
            showMessage("PADS", local_.pads.drums ? "Drums" : "Notes");
            return true;
        case Button::octaveDown: stepOctave(-1); return true;
        case Button::octaveUp: stepOctave(+1); return true;
        default: return false;
    }
}

void Bridge::applyRepeat() {
    const bool repeatOn = local_.repeatOn;
    pads_->update([&](PadPlayer::Config& config) { config.repeatOn = repeatOn; });
    std::lock_guard guard(interceptLock_);
    scenesPickRepeatRates_ = repeatOn;
}

void Bridge::applyAccent() {
    const bool accent = local_.accent;
    pads_->update([&](PadPlayer::Config& config) { config.accent = accent; });
}

// After an input overrun no button can be known to be held: the ones the device tracks count as
// let go now, and off: not as if their releases had come, since a release within a tap of the
// press would latch them on.
void Bridge::letGoOfHeldButtons() {
    bool changed = false;
    if (accentPressedAt_) {
        accentPressedAt_.reset();
        local_.accent = false;
        applyAccent();
        changed = true;
    }
    if (repeatPressedAt_) {
        repeatPressedAt_.reset();
        local_.repeatOn = false;
        applyRepeat();
        changed = true;
    }
    if (std::find(touched_.begin(), touched_.end(), true) != touched_.end()) {
        touched_.fill(false);
        changed = true;
    }
    if (!changed) return;
    scheduler_->invalidate();
    updateLEDs();
    publishStatus();
}

void Bridge::stepOctave(int step) {
    local_.pads.octave =
        std::clamp(local_.pads.octave + step, PadSettingsLimits::minOctave, PadSettingsLimits::maxOctave);
    applyPadSettings();
    showOctavePopup();
}

void Bridge::applyPadSettings() {
    const PadSettings settings = local_.pads;
    pads_->update([&](PadPlayer::Config& config) { config.settings = settings; });
    for (auto& [key, value] : PadStore::values(settings)) settings_->set(key, std::move(value));
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

}  // namespace corvane
