#pragma once
// Everything the on-device pages change. The bridge keeps one on its main queue and is its
// only writer.

#include "core/PadSettings.h"
#include "core/RepeatRate.h"
#include "core/SetupState.h"

namespace corvane {

struct LocalUI {
    PadSettings pads;
    bool scaleOverlay = false;  // the scale page is shown
    SetupState setup;
    bool accent = false;
    bool repeatOn = false;
    RepeatRate repeatRate = RepeatRate::sixteenth;

    bool diagnostics() const { return setup.showsDiagnostics(); }

    bool operator==(const LocalUI&) const = default;
};

}  // namespace corvane
