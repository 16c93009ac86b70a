#pragma once
// The button LEDs that should be lit now, computed from scratch from the host state and the
// on-device pages, and the messages that bring the Push from one such plan to the next. The
// pads are not part of it: the pad player lights them.

#include <array>
#include <vector>

#include "core/LEDTarget.h"
#include "core/LocalUI.h"
#include "core/MIDIMessage.h"
#include "core/PushMIDIMap.h"
#include "core/StateKeys.h"

namespace corvane {

class RemoteState;

namespace LEDPlan {

struct ModeButton {
    PushMIDIMap::Button button;
    StateKeys::Page page;
};

// Lit bright on their page; both session buttons stand for the tracks page.
inline constexpr std::array<ModeButton, 5> modeButtons{{
    {PushMIDIMap::Button::mix, StateKeys::Page::mix},
    {PushMIDIMap::Button::device, StateKeys::Page::device},
    {PushMIDIMap::Button::session, StateKeys::Page::tracks},
    {PushMIDIMap::Button::sessionScreen, StateKeys::Page::tracks},
    {PushMIDIMap::Button::note, StateKeys::Page::track},
}};

// White-only buttons that show dim while Cubase is connected, to say they do something.
inline constexpr std::array<PushMIDIMap::Button, 26> whiteControls{
    PushMIDIMap::Button::tapTempo,  PushMIDIMap::Button::master,     PushMIDIMap::Button::stopClip,
    PushMIDIMap::Button::add,       PushMIDIMap::Button::swap,       PushMIDIMap::Button::convert,
    PushMIDIMap::Button::arrowLeft, PushMIDIMap::Button::arrowRight, PushMIDIMap::Button::arrowUp,
    PushMIDIMap::Button::arrowDown, PushMIDIMap::Button::select,     PushMIDIMap::Button::shift,
    PushMIDIMap::Button::user,      PushMIDIMap::Button::pageLeft,   PushMIDIMap::Button::pageRight,
    PushMIDIMap::Button::capture,   PushMIDIMap::Button::setsFiles,  PushMIDIMap::Button::learn,
    PushMIDIMap::Button::save,      PushMIDIMap::Button::duplicate,  PushMIDIMap::Button::fixedLength,
    PushMIDIMap::Button::newButton, PushMIDIMap::Button::quantize,   PushMIDIMap::Button::deleteButton,
    PushMIDIMap::Button::undo,      PushMIDIMap::Button::clip,
};

// Every button LED the bridge owns, with its value. Has no side effects.
LEDValues plan(const RemoteState& state, const LocalUI& local, bool cubaseConnected);

// The messages that change what differs: first every target of `to` that is new or has another
// value, then value 0 for every target of `from` that `to` no longer has. Targets are in
// ascending order within each group. Equal plans give none.
std::vector<MIDIMessage> diff(const LEDValues& from, const LEDValues& to);

}  // namespace LEDPlan
}  // namespace corvane
