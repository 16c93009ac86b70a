#include "core/PushPreferencesStore.h"

#include <algorithm>
#include <cstdint>

namespace corvane::PushPreferencesStore {

namespace {

std::optional<int> clamped(std::optional<std::int64_t> stored, int maximum) {
    if (!stored) return std::nullopt;
    return static_cast<int>(std::clamp<std::int64_t>(*stored, 0, maximum));
}

}  // namespace

PushPreferences load(const SettingReader& value) {
    auto integer = [&](const char* key) { return Settings::integer(value(key)); };
    PushPreferences preferences;
    if (auto raw = integer(preamp1Key)) preferences.preamps[0] = preampFromRaw(*raw);
    if (auto raw = integer(preamp2Key)) preferences.preamps[1] = preampFromRaw(*raw);
    if (auto raw = integer(aftertouchKey)) preferences.aftertouch = aftertouchModeFromRaw(*raw);
    preferences.displayBrightness = clamped(integer(displayBrightnessKey), 255);
    preferences.ledBrightness = clamped(integer(ledBrightnessKey), 127);
    return preferences;
}

SettingPairs values(const PushPreferences& preferences) {
    SettingPairs pairs;
    auto add = [&](const char* key, int v) { pairs.emplace_back(key, std::int64_t{v}); };
    if (preferences.preamps[0]) add(preamp1Key, rawValue(*preferences.preamps[0]));
    if (preferences.preamps[1]) add(preamp2Key, rawValue(*preferences.preamps[1]));
    if (preferences.aftertouch) add(aftertouchKey, rawValue(*preferences.aftertouch));
    if (preferences.displayBrightness) add(displayBrightnessKey, *preferences.displayBrightness);
    if (preferences.ledBrightness) add(ledBrightnessKey, *preferences.ledBrightness);
    return pairs;
}

}  // namespace corvane::PushPreferencesStore
