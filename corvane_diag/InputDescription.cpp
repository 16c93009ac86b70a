#include "corvane_diag/InputDescription.h"

#include "core/Hex.h"
#include "core/Overloaded.h"

namespace corvane {

namespace {

std::string number(std::int64_t value) { return std::to_string(value); }

std::string signedDelta(std::int64_t delta) { return delta > 0 ? "+" + number(delta) : number(delta); }

const char* touch(bool touched) { return touched ? "touched" : "released"; }
const char* press(bool pressed) { return pressed ? "down" : "up"; }

}  // namespace

std::string describe(const PushInput& input) {
    using I = PushInput;
    return std::visit(
        Overloaded{
            [](const I::TrackEncoder& e) {
                return "track encoder " + number(e.index + 1) + " " + signedDelta(e.delta);
            },
            [](const I::TrackEncoderTouch& e) {
                return "track encoder " + number(e.index + 1) + " " + touch(e.touched);
            },
            [](const I::VolumeEncoder& e) { return "volume encoder " + signedDelta(e.delta); },
            [](const I::VolumeEncoderTouch& e) { return std::string("volume encoder ") + touch(e.touched); },
            [](const I::TempoEncoder& e) { return "tempo encoder " + signedDelta(e.delta); },
            [](const I::TempoEncoderTouch& e) { return std::string("tempo encoder ") + touch(e.touched); },
            [](const I::JogWheel& e) { return "jog wheel " + signedDelta(e.delta); },
            [](const I::JogWheelTouch& e) { return std::string("jog wheel ") + touch(e.touched); },
            [](const I::UpperDisplayButton& e) {
                return "upper display button " + number(e.index + 1) + " " + press(e.pressed);
            },
            [](const I::LowerDisplayButton& e) {
                return "lower display button " + number(e.index + 1) + " " + press(e.pressed);
            },
            [](const I::SceneButton& e) {
                return "scene button " + number(e.index + 1) + " (from top) " + press(e.pressed);
            },
            [](const I::Button& e) {
                return "button " + std::string(PushMIDIMap::name(e.button)) + " " + press(e.pressed);
            },
            [](const I::Pad& e) {
                return "pad row " + number(e.row + 1) + " col " + number(e.column + 1) + " " +
                       (e.velocity >= 1 ? "on vel " + number(e.velocity) : std::string("off"));
            },
            [](const I::PadPressure& e) {
                return "pad row " + number(e.row + 1) + " col " + number(e.column + 1) + " pressure " +
                       number(e.pressure);
            },
            [](const I::ChannelPressure& e) { return "channel pressure " + number(e.pressure); },
            [](const I::TouchStrip& e) { return "touch strip " + number(e.value); },
            [](const I::TouchStripTouch& e) { return std::string("touch strip ") + touch(e.touched); },
            [](const I::DpadCentreTouch& e) { return std::string("d-pad centre ") + touch(e.touched); },
            [](const I::Unmapped& e) { return "UNMAPPED " + Hex::bytes(e.message.bytes()); },
        },
        input.value);
}

}  // namespace corvane
