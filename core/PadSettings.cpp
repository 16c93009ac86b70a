#include "core/PadSettings.h"

#include <charconv>
#include <cstddef>

#include "core/PadEngine.h"
#include "platform/Precondition.h"

namespace corvane {

std::string_view PadSettings::rootName() const {
    precondition(root >= 0 && root <= 11, "pad root outside 0...11");
    return noteNames[static_cast<std::size_t>(root)];
}

const Scale& PadSettings::scale() const {
    const auto& scales = PadEngine::scales();
    precondition(scaleIndex >= 0 && static_cast<std::size_t>(scaleIndex) < scales.size(),
                 "pad scale index outside the scale table");
    return scales[static_cast<std::size_t>(scaleIndex)];
}

std::string PadSettings::summary() const {
    if (drums) return "Drums";
    std::string text(rootName());
    text += ' ';
    text += scale().name;
    text += " · ";
    text += inKey ? "In Key" : "Chromatic";
    text += ' ';
    text += name(layout);
    if (fixed) text += " · Fixed";
    return text;
}

std::string PadSettings::noteName(int note) {
    precondition(note >= 0 && note <= 127, "note name asked for a note outside 0...127");
    char digits[8];
    const auto result = std::to_chars(digits, digits + sizeof digits, note / 12 - 2);
    std::string text(noteNames[static_cast<std::size_t>(note % 12)]);
    text.append(digits, result.ptr);
    return text;
}

}  // namespace corvane
