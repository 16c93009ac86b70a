#include "core/LEDPlan.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>

#include "core/PadColors.h"
#include "core/PadEngine.h"
#include "core/RemoteState.h"

namespace corvane::LEDPlan {
namespace {

using PushMIDIMap::Button;
using StateKeys::Page;
namespace Field = StateKeys::ChannelField;

struct Builder {
    LEDValues values;

    void set(std::uint8_t controller, std::uint8_t value) { values[LEDTarget::cc(controller)] = value; }
    void set(Button button, std::uint8_t value) { set(PushMIDIMap::controller(button), value); }
    void upper(int i, std::uint8_t value) {
        set(static_cast<std::uint8_t>(PushMIDIMap::upperDisplayButtonCCs.lower + i), value);
    }
    void lower(int i, std::uint8_t value) {
        set(static_cast<std::uint8_t>(PushMIDIMap::lowerDisplayButtonCCs.lower + i), value);
    }
};

constexpr std::uint8_t choice(bool chosen) { return chosen ? PushColor::white : PushRGB::darkGray; }
constexpr std::uint8_t lit(bool on, std::uint8_t color) { return on ? color : PushRGB::darkGray; }
constexpr std::uint8_t brightOrDim(bool on) { return on ? PushWhite::bright : PushWhite::dim; }

// Three buttons from `first` on, one per case; all offered when nothing is known.
template <class Option, std::size_t N>
void showChoice(Builder& b, int first, const std::array<Option, N>& options, std::optional<Option> chosen) {
    for (std::size_t i = 0; i < N; ++i) b.lower(first + static_cast<int>(i), choice(chosen == options[i]));
}

void selectedTrackMuteSolo(Builder& b, const RemoteState& state) {
    b.set(Button::mute,
          state.flag(StateKeys::selectedTrack(Field::mute)) ? PushColor::blue : PushColor::white);
    b.set(Button::solo,
          state.flag(StateKeys::selectedTrack(Field::solo)) ? PushColor::green : PushColor::white);
}

void setupPage(Builder& b, const SetupState& setup) {
    for (const auto tab : allSetupTabs) b.upper(rawValue(tab), choice(tab == setup.tab));
    switch (setup.tab) {
        case SetupTab::audio:
            showChoice(b, 0, allPreamps, setup.preamps[0]);
            showChoice(b, 4, allPreamps, setup.preamps[1]);
            break;
        case SetupTab::expression:
            showChoice(b, 0, allAftertouchModes, setup.aftertouch);
            break;
        case SetupTab::display:
        case SetupTab::diagnostics:
            break;
    }
}

void scalePage(Builder& b, const PadSettings& pads) {
    b.upper(0, PushColor::white);
    b.lower(0, PushColor::white);
    b.upper(7, choice(pads.fixed));
    for (int i = 1; i <= 6; ++i) {
        b.upper(i, choice(PadEngine::upperRoots[static_cast<std::size_t>(i - 1)] == pads.root));
        b.lower(i, choice(PadEngine::lowerRoots[static_cast<std::size_t>(i - 1)] == pads.root));
    }
}

void trackPage(Builder& b, const RemoteState& state) {
    struct Flag {
        std::uint8_t field, color;
    };
    constexpr std::array<Flag, 8> flags{{
        {Field::mute, PushColor::blue},
        {Field::solo, PushColor::green},
        {Field::recordArm, PushColor::red},
        {Field::monitor, PushColor::white},
        {Field::readAutomation, PushColor::green},
        {Field::writeAutomation, PushColor::red},
        {Field::editorOpen, PushColor::white},
        {Field::instrumentOpen, PushColor::white},
    }};
    for (int i = 0; i < 8; ++i) {
        const auto& f = flags[static_cast<std::size_t>(i)];
        b.upper(i, lit(state.flag(StateKeys::selectedTrack(f.field)), f.color));
    }
    selectedTrackMuteSolo(b, state);
}

void mixPage(Builder& b, const RemoteState& state) {
    const auto mixMode = state.number(StateKeys::Session::mixMode).value_or(0);
    for (int i = 0; i < 8; ++i) b.upper(i, choice(i == mixMode));

    const auto lowerMode = state.number(StateKeys::Session::lowerMode).value_or(0);
    struct Shown {
        std::uint8_t field, color;
    };
    const Shown shown = lowerMode == 1   ? Shown{Field::mute, PushColor::blue}
                        : lowerMode == 2 ? Shown{Field::solo, PushColor::green}
                        : lowerMode == 3 ? Shown{Field::recordArm, PushColor::red}
                                         : Shown{Field::selected, PushColor::white};
    for (int i = 0; i < 8; ++i) {
        if (!state.flag(StateKeys::bankChannel(i, Field::exists))) continue;
        b.lower(i, lit(state.flag(StateKeys::bankChannel(i, shown.field)), shown.color));
    }
    b.set(Button::mute, lowerMode == 1 ? PushColor::blue : PushColor::white);
    b.set(Button::solo, lowerMode == 2 ? PushColor::green : PushColor::white);
}

void devicePage(Builder& b, const RemoteState& state) {
    const auto mode = state.number(StateKeys::Session::deviceMode).value_or(0);
    for (int i = 0; i < 3; ++i) b.upper(i, choice(i == mode));
    if (mode == 1) {
        b.upper(6, PushRGB::darkGray);
        b.upper(7, PushRGB::darkGray);
    }
    selectedTrackMuteSolo(b, state);
}

}  // namespace

LEDValues plan(const RemoteState& state, const LocalUI& local, bool cubaseConnected) {
    const Page page = StateKeys::currentPage(state);
    Builder b;

    b.set(Button::scale, brightOrDim(local.scaleOverlay));
    b.set(Button::layout, brightOrDim(local.pads.drums));
    b.set(Button::octaveUp,
          local.pads.octave < PadSettingsLimits::maxOctave ? PushWhite::dim : PushWhite::off);
    b.set(Button::octaveDown,
          local.pads.octave > PadSettingsLimits::minOctave ? PushWhite::dim : PushWhite::off);
    b.set(Button::setup, brightOrDim(local.setup.open));
    b.set(Button::accent, brightOrDim(local.accent));
    b.set(Button::repeatButton, brightOrDim(local.repeatOn));

    // Scene button k (k = 0 at the top) picks a repeat rate.
    const int rateButton = sceneButton(local.repeatRate);
    for (int k = 0; k < 8; ++k) {
        const auto value = local.repeatOn    ? choice(k == rateButton)
                           : cubaseConnected ? PushColor::white
                                             : PushColor::off;
        b.set(static_cast<std::uint8_t>(PushMIDIMap::sceneButtonCCs.upper - k), value);
    }

    for (int i = 0; i < 8; ++i) {
        b.upper(i, PushWhite::off);
        b.lower(i, PushWhite::off);
    }

    if (cubaseConnected) {
        for (const auto button : whiteControls) b.set(button, PushWhite::dim);
        for (const auto& mode : modeButtons) b.set(mode.button, brightOrDim(mode.page == page));
        b.set(Button::mute, PushColor::white);
        b.set(Button::solo, PushColor::white);
    }

    if (local.setup.open) {
        setupPage(b, local.setup);
    } else if (local.scaleOverlay) {
        scalePage(b, local.pads);
    } else if (cubaseConnected) {
        switch (page) {
            case Page::track:
                trackPage(b, state);
                break;
            case Page::mix:
                mixPage(b, state);
                break;
            case Page::device:
                devicePage(b, state);
                break;
            case Page::tracks:
                selectedTrackMuteSolo(b, state);
                break;
        }
    }
    return std::move(b.values);
}

std::vector<MIDIMessage> diff(const LEDValues& from, const LEDValues& to) {
    std::vector<MIDIMessage> changed;
    std::vector<MIDIMessage> gone;
    // Both maps are sorted by target: one walk over the two finds every difference.
    auto old = from.begin();
    auto now = to.begin();
    while (old != from.end() || now != to.end()) {
        if (now == to.end() || (old != from.end() && old->first < now->first)) {
            gone.push_back(old->first.message(PushWhite::off));
            ++old;
        } else if (old == from.end() || now->first < old->first) {
            changed.push_back(now->first.message(now->second));
            ++now;
        } else {
            if (old->second != now->second) changed.push_back(now->first.message(now->second));
            ++old;
            ++now;
        }
    }
    changed.insert(changed.end(), gone.begin(), gone.end());
    return changed;
}

}  // namespace corvane::LEDPlan
