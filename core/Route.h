#pragma once
// Where an incoming Push message goes first.

#include <string_view>

namespace corvane {

enum class Route {
    performance,  // played here: pads, pressure, touch strip, sustain pedal
    control,      // handed to the Cubase script unchanged
    local,        // handled on the device itself
    drop,
};

// The case name as printed in logs: "performance", "control", "local", "drop".
constexpr std::string_view name(Route route) {
    switch (route) {
        case Route::performance: return "performance";
        case Route::control: return "control";
        case Route::local: return "local";
        case Route::drop: return "drop";
    }
    return "";
}

}  // namespace corvane
