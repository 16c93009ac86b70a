#pragma once
// The pad settings a user picks on the Push.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/NoteLayout.h"
#include "core/Scale.h"

namespace corvane {

namespace PadSettingsLimits {
inline constexpr int minOctave = -3;
inline constexpr int maxOctave = 4;
}  // namespace PadSettingsLimits

struct PadSettings {
    std::int64_t root = 0;  // pitch class of the key, 0 = C ... 11 = B
    int scaleIndex = 0;     // into PadEngine::scales()
    bool inKey = true;      // false: chromatic
    NoteLayout layout = NoteLayout::fourthsUp;
    bool fixed = false;  // laid out from C instead of from the root
    bool drums = false;  // four 4 x 4 drum blocks instead of the scale grid
    int octave = 0;      // callers keep it within PadSettingsLimits

    // root must lie in 0...11.
    std::string_view rootName() const;
    // scaleIndex must index the scale table.
    const Scale& scale() const;
    // "C Major · In Key 4ths ↑", or "Drums".
    std::string summary() const;

    static constexpr std::array<std::string_view, 12> noteNames{
        "C", "C♯", "D", "E♭", "E", "F", "F♯", "G", "A♭", "A", "B♭", "B"};
    // Name and octave, middle C (60) being "C3". note must lie in 0...127.
    static std::string noteName(int note);

    bool operator==(const PadSettings&) const = default;
};

}  // namespace corvane
