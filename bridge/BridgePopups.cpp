// The transient value popups over whatever screen is up: master volume, tempo, octave range and
// the short messages of the local buttons.

#include <glib.h>

#include <memory>

#include "bridge/Bridge.h"
#include "core/PadEngine.h"
#include "core/StateKeys.h"
#include "core/UTF8.h"

namespace corvane {

namespace {

constexpr double popupLifetime = 1.5;
// The redraw that takes an expired popup away comes just after it expires.
constexpr double popupRedrawAfterExpiry = 0.05;
constexpr const char* noValue = "—";

// Upper case by Unicode's rules, not only for ASCII letters.
std::string upperCased(const std::string& text) {
    const std::string valid = validUTF8(text);
    const std::unique_ptr<gchar, decltype(&g_free)> upper(
        g_utf8_strup(valid.data(), static_cast<gssize>(valid.size())), &g_free);
    return upper ? std::string(upper.get()) : valid;
}

}  // namespace

void Bridge::showPopup(std::function<Popup(const Bridge&)> make) {
    popup_ = ShownPopup{std::move(make), now() + popupLifetime};
    scheduler_->invalidate();
    onMainAfter(popupLifetime + popupRedrawAfterExpiry, [](Bridge& self) { self.scheduler_->invalidate(); });
}

void Bridge::showMessage(std::string title, std::string value) {
    showPopup([popup = Popup(std::move(title), std::move(value))](const Bridge&) { return popup; });
}

void Bridge::showMasterPopup() {
    showPopup([](const Bridge& self) {
        const RemoteState& state = self.state_;
        return Popup(upperCased(state.string(StateKeys::Master::name).value_or("MAIN")),
                     state.string(StateKeys::Master::volumeText).value_or(noValue),
                     state.normalized(StateKeys::Master::volume));
    });
}

void Bridge::showTempoPopup() {
    showPopup([](const Bridge& self) {
        return Popup("TEMPO", self.state_.string(StateKeys::Transport::tempoText).value_or(noValue));
    });
}

void Bridge::showOctavePopup() {
    showPopup([](const Bridge& self) {
        const auto range = PadEngine::range(self.local_.pads);
        if (!range) return Popup("OCTAVE", noValue);
        return Popup("OCTAVE", PadSettings::noteName(range->low) + " – " + PadSettings::noteName(range->high));
    });
}

std::optional<Popup> Bridge::visiblePopup() const {
    if (!popup_ || now() >= popup_->expiresAt) return std::nullopt;
    return popup_->make(*this);
}

}  // namespace corvane
