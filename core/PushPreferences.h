#pragma once
// The Push settings as the user last chose them, sent again whenever the Push connects.
// An absent value is one the user never set: it is neither sent nor stored.

#include <array>
#include <optional>
#include <vector>

#include "core/MIDIMessage.h"
#include "core/PushSettingTypes.h"

namespace corvane {

struct PushPreferences {
    std::array<std::optional<Preamp>, 2> preamps{};  // input 1, input 2
    std::optional<AftertouchMode> aftertouch;
    std::optional<int> displayBrightness;
    std::optional<int> ledBrightness;

    // The framed commands that apply what is set: preamps in input order, then aftertouch,
    // display brightness and LED brightness.
    std::vector<Bytes> messages() const;

    bool operator==(const PushPreferences&) const = default;
};

}  // namespace corvane
