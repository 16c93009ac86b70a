#pragma once
// The Push 3's note and controller numbers. Every control is on one channel.

#include "core/MIDINumberSet.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace corvane::PushMIDIMap {

inline constexpr std::uint8_t liveChannel = 0;

inline constexpr MIDINumberRange trackEncoderCCs{71, 78};  // the eight above the display, left to right
inline constexpr MIDINumberRange trackEncoderTouchNotes{0, 7};
inline constexpr std::uint8_t volumeEncoderCC = 79;
inline constexpr std::uint8_t volumeEncoderTouchNote = 8;
inline constexpr std::uint8_t tempoEncoderCC = 14;
inline constexpr std::uint8_t tempoEncoderTouchNote = 10;
inline constexpr std::uint8_t jogWheelCC = 70;
inline constexpr std::uint8_t jogWheelTouchNote = 11;
inline constexpr std::uint8_t touchStripTouchNote = 12;
inline constexpr std::uint8_t dpadCentreTouchNote = 13;
inline constexpr MIDINumberRange upperDisplayButtonCCs{102, 109};
inline constexpr MIDINumberRange lowerDisplayButtonCCs{20, 27};
inline constexpr MIDINumberRange sceneButtonCCs{36, 43};  // right of the pads; 43 is the top one
inline constexpr MIDINumberRange padNotes{36, 99};        // 64 pads, bottom row first

// The named buttons; the raw value is the controller number. `newButton` and `deleteButton`
// stand for the buttons printed "new" and "delete".
enum class Button : std::uint8_t {
    tapTempo = 3,
    metronome = 9,
    tempoPress = 15,
    master = 28,
    stopClip = 29,
    setup = 30,
    layout = 31,
    add = 32,
    swap = 33,
    sessionScreen = 34,
    convert = 35,
    arrowLeft = 44,
    arrowRight = 45,
    arrowUp = 46,
    arrowDown = 47,
    select = 48,
    shift = 49,
    note = 50,
    session = 51,
    octaveDown = 54,
    octaveUp = 55,
    repeatButton = 56,
    accent = 57,
    scale = 58,
    user = 59,
    mute = 60,
    solo = 61,
    pageLeft = 62,
    pageRight = 63,
    footswitch1 = 64,
    capture = 65,
    footswitch2 = 69,
    setsFiles = 80,
    learn = 81,
    save = 82,
    lock = 83,
    play = 85,
    record = 86,
    duplicate = 88,
    automate = 89,
    fixedLength = 90,
    dpadCentre = 91,
    newButton = 92,
    jogNudgeLeft = 93,
    jogPress = 94,
    jogNudgeRight = 95,
    device = 110,
    volumePress = 111,
    mix = 112,
    clip = 113,
    quantize = 116,
    doubleLoop = 117,
    deleteButton = 118,
    undo = 119,
};

// Every button, in declaration order.
inline constexpr std::array<Button, 54> allButtons{
    Button::tapTempo,     Button::metronome,   Button::tempoPress,   Button::master,
    Button::stopClip,     Button::setup,       Button::layout,       Button::add,
    Button::swap,         Button::sessionScreen, Button::convert,    Button::arrowLeft,
    Button::arrowRight,   Button::arrowUp,     Button::arrowDown,    Button::select,
    Button::shift,        Button::note,        Button::session,      Button::octaveDown,
    Button::octaveUp,     Button::repeatButton, Button::accent,      Button::scale,
    Button::user,         Button::mute,        Button::solo,         Button::pageLeft,
    Button::pageRight,    Button::footswitch1, Button::capture,      Button::footswitch2,
    Button::setsFiles,    Button::learn,       Button::save,         Button::lock,
    Button::play,         Button::record,      Button::duplicate,    Button::automate,
    Button::fixedLength,  Button::dpadCentre,  Button::newButton,    Button::jogNudgeLeft,
    Button::jogPress,     Button::jogNudgeRight, Button::device,     Button::volumePress,
    Button::mix,          Button::clip,        Button::quantize,     Button::doubleLoop,
    Button::deleteButton, Button::undo,
};

constexpr std::uint8_t controller(Button button) { return static_cast<std::uint8_t>(button); }

// The button with this controller number; none for any other number.
std::optional<Button> button(unsigned controller);

// The case name as printed: "play", "repeatButton", "new", "delete".
std::string_view name(Button button);

}  // namespace corvane::PushMIDIMap
