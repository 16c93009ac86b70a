#include "core/PushMIDIMap.h"

namespace corvane::PushMIDIMap {

namespace {

struct ButtonTable {
    std::array<bool, 128> present{};
    constexpr ButtonTable() {
        for (auto b : allButtons) present[controller(b)] = true;
    }
};

constexpr ButtonTable buttonTable;

}  // namespace

std::optional<Button> button(unsigned controller) {
    if (controller >= 128 || !buttonTable.present[controller]) return std::nullopt;
    return static_cast<Button>(controller);
}

std::string_view name(Button button) {
    switch (button) {
        case Button::tapTempo: return "tapTempo";
        case Button::metronome: return "metronome";
        case Button::tempoPress: return "tempoPress";
        case Button::master: return "master";
        case Button::stopClip: return "stopClip";
        case Button::setup: return "setup";
        case Button::layout: return "layout";
        case Button::add: return "add";
        case Button::swap: return "swap";
        case Button::sessionScreen: return "sessionScreen";
        case Button::convert: return "convert";
        case Button::arrowLeft: return "arrowLeft";
        case Button::arrowRight: return "arrowRight";
        case Button::arrowUp: return "arrowUp";
        case Button::arrowDown: return "arrowDown";
        case Button::select: return "select";
        case Button::shift: return "shift";
        case Button::note: return "note";
        case Button::session: return "session";
        case Button::octaveDown: return "octaveDown";
        case Button::octaveUp: return "octaveUp";
        case Button::repeatButton: return "repeatButton";
        case Button::accent: return "accent";
        case Button::scale: return "scale";
        case Button::user: return "user";
        case Button::mute: return "mute";
        case Button::solo: return "solo";
        case Button::pageLeft: return "pageLeft";
        case Button::pageRight: return "pageRight";
        case Button::footswitch1: return "footswitch1";
        case Button::capture: return "capture";
        case Button::footswitch2: return "footswitch2";
        case Button::setsFiles: return "setsFiles";
        case Button::learn: return "learn";
        case Button::save: return "save";
        case Button::lock: return "lock";
        case Button::play: return "play";
        case Button::record: return "record";
        case Button::duplicate: return "duplicate";
        case Button::automate: return "automate";
        case Button::fixedLength: return "fixedLength";
        case Button::dpadCentre: return "dpadCentre";
        case Button::newButton: return "new";
        case Button::jogNudgeLeft: return "jogNudgeLeft";
        case Button::jogPress: return "jogPress";
        case Button::jogNudgeRight: return "jogNudgeRight";
        case Button::device: return "device";
        case Button::volumePress: return "volumePress";
        case Button::mix: return "mix";
        case Button::clip: return "clip";
        case Button::quantize: return "quantize";
        case Button::doubleLoop: return "doubleLoop";
        case Button::deleteButton: return "delete";
        case Button::undo: return "undo";
    }
    return "";
}

}  // namespace corvane::PushMIDIMap
