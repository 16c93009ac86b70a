#pragma once
// The model of the setup page on the Push: the tab shown and the Push's settings as far as
// the bridge knows them. Absent values are not known yet.

#include <array>
#include <optional>

#include "core/PushSettingTypes.h"

namespace corvane {

struct SetupState {
    bool open = false;
    // Kept while the page is closed, so it opens where the user left it.
    SetupTab tab = SetupTab::audio;
    std::array<std::optional<Preamp>, 2> preamps{};  // input 1, input 2
    std::optional<AftertouchMode> aftertouch;
    std::optional<int> displayBrightness;  // 0...255
    std::optional<int> ledBrightness;      // 0...127

    bool showsDiagnostics() const { return open && tab == SetupTab::diagnostics; }

    // value as a whole percentage of maximum, half rounded away from zero. maximum > 0.
    static int percent(int value, int maximum);
    // One brightness step of delta percentage points, never below 10 %; an unknown current
    // value counts as 100 %.
    static int stepped(std::optional<int> current, int maximum, int delta);

    bool operator==(const SetupState&) const = default;
};

}  // namespace corvane
