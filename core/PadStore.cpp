#include "core/PadStore.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "core/PadEngine.h"

namespace corvane::PadStore {

PadSettings load(const SettingReader& value) {
    auto integer = [&](const char* key) { return Settings::integer(value(key)); };
    auto boolean = [&](const char* key) { return Settings::boolean(value(key)); };

    PadSettings settings;
    const auto root = integer(rootKey);
    const auto octave = integer(octaveKey);

    if (auto raw = integer(noteLayoutKey)) settings.layout = noteLayoutFromRaw(*raw).value_or(NoteLayout::fourthsUp);
    settings.fixed = boolean(fixedKey).value_or(false);

    if (auto inKey = boolean(inKeyKey)) {
        settings.inKey = *inKey;
        settings.drums = boolean(drumsKey).value_or(false);
    } else if (auto mode = integer(legacyLayoutKey)) {
        // The older combined mode: 0 in key, 1 chromatic, 2 drums.
        if (*mode == 1) settings.inKey = false;
        if (*mode == 2) settings.drums = true;
    }

    const auto scaleName = Settings::text(value(scaleNameKey));
    const auto named = scaleName ? PadEngine::scaleIndex(*scaleName) : std::nullopt;
    if (named) {
        settings.scaleIndex = *named;
    } else {
        const auto legacy = integer(legacyScaleKey);
        if (legacy && *legacy >= 0 && *legacy < std::int64_t{PadEngine::legacyScaleNames.size()}) {
            const std::string_view name = PadEngine::legacyScaleNames[static_cast<std::size_t>(*legacy)];
            // The old list had "Chromatic" as a scale; now it is Major played chromatically.
            if (name == "Chromatic") settings.inKey = false;
            settings.scaleIndex = PadEngine::scaleIndex(name).value_or(0);
        }
    }

    settings.root = std::clamp<std::int64_t>(root.value_or(0), 0, 11);
    settings.octave = static_cast<int>(
        std::clamp<std::int64_t>(octave.value_or(0), PadSettingsLimits::minOctave, PadSettingsLimits::maxOctave));
    return settings;
}

SettingPairs values(const PadSettings& settings) {
    return {
        {rootKey, settings.root},
        {scaleNameKey, settings.scale().name},
        {inKeyKey, settings.inKey},
        {drumsKey, settings.drums},
        {noteLayoutKey, std::int64_t{rawValue(settings.layout)}},
        {fixedKey, settings.fixed},
        {octaveKey, std::int64_t{settings.octave}},
    };
}

}  // namespace corvane::PadStore
