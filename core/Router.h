#pragma once
// The first decision for every message from the Push: play it, forward it, keep it, or drop it.

#include "core/MIDIMessage.h"
#include "core/MIDINumberSet.h"
#include "core/PushMIDIMap.h"
#include "core/Route.h"

#include <cstdint>

namespace corvane::Router {

inline constexpr std::uint8_t sustainPedalCC = 64;

// scale, layout, octaveDown, octaveUp, setup, accent, repeatButton, and the scene buttons.
inline constexpr MIDINumberSet localCCs = [] {
    MIDINumberSet set{58, 31, 54, 55, 30, 57, 56};
    set.insert(PushMIDIMap::sceneButtonCCs);
    return set;
}();

// The eight track-encoder touches and the volume and tempo encoder touches.
inline constexpr MIDINumberSet forwardedTouchNotes = [] {
    MIDINumberSet set{PushMIDIMap::volumeEncoderTouchNote, PushMIDIMap::tempoEncoderTouchNote};
    set.insert(PushMIDIMap::trackEncoderTouchNotes);
    return set;
}();

Route route(const MIDIMessage& message);

// The bridge's entry point: with note repeat off the scene buttons belong to the script; with it on
// they stay on the device, where they choose the repeat rate.
Route route(const MIDIMessage& message, bool repeatOn);

}  // namespace corvane::Router
