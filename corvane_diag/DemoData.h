#pragma once
// The fixed session the screen previews are drawn from: eight tracks, their meters, transport,
// the selected track, a device and the master, and the parameter slots of each page.

#include <array>
#include <string>
#include <string_view>

#include "core/RemoteState.h"
#include "core/StateKey.h"
#include "core/StateKeys.h"

namespace corvane::DemoData {

struct Track {
    std::string_view name;
    RGB color;
};

inline constexpr std::array<Track, 8> tracks{{
    {"Kick", {229, 57, 53}},
    {"Snare", {244, 81, 30}},
    {"Bass", {30, 136, 229}},
    {"Rhythm Gtr", {67, 160, 71}},
    {"Lead Vocal", {251, 192, 45}},
    {"Pads", {142, 36, 170}},
    {"Strings", {0, 172, 193}},
    {"FX Return", {120, 144, 156}},
}};

inline constexpr std::array<std::int64_t, 8> meters{12000, 9000, 11000, 7000, 0, 5000, 0, 0};

// One parameter slot; an empty title is an empty slot.
struct Slot {
    std::string_view title;
    std::string_view valueText;
    double value = 0;
    bool bipolar = false;
};

// The host state of the demo session, with `position` as the transport's time text.
void populate(RemoteState& state, const std::string& position);

// The parameter slots of the track, mix or device page (any other page takes the track page's).
void slots(RemoteState& state, StateKeys::Page page);

}  // namespace corvane::DemoData
