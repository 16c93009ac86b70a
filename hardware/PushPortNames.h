#pragma once
// The names the kernel gives the Push 3's live MIDI port. Kernels that name a USB MIDI port after
// its jack (Linux 5.13 on) call it "Ableton Push 3 Live Port"; older ones, and any device without
// jack names, call it by the card name and the port's number. The second port, the User Port
// ("Ableton Push 3 MIDI 2" there), is never the one.

#include <string>
#include <vector>

namespace corvane::PushPortNames {

inline constexpr const char* jack = "Ableton Push 3 Live Port";
inline constexpr const char* generic = "Ableton Push 3 MIDI 1";

// In order of preference, for a device port: the jack's name wins where both are there.
inline std::vector<std::string> inOrder() { return {jack, generic}; }

}  // namespace corvane::PushPortNames
