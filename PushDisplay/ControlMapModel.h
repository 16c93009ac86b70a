#pragma once
// What the control map page shows for each of the eight display columns: the encoder above it
// and the display buttons above and below it. Index = column = encoder or button 0...7.

#include <array>
#include <string>

namespace corvane {

struct ControlMapModel {
    std::array<int, 8> encoderValue{64, 64, 64, 64, 64, 64, 64, 64};  // kept within 0...127 by its user
    std::array<int, 8> encoderLastDelta{};                             // last signed change
    std::array<bool, 8> encoderTouched{};
    std::array<bool, 8> upperPressed{};
    std::array<bool, 8> lowerPressed{};
    // For the caller's own use; the page does not draw it.
    std::string lastEvent = "touch / turn an encoder, press a button above or below the screen";

    bool operator==(const ControlMapModel&) const = default;
};

}  // namespace corvane
