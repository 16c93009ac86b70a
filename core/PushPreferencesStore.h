#pragma once
// PushPreferences in the user defaults, under keys beginning with "push.".

#include "core/PushPreferences.h"
#include "platform/SettingValue.h"

namespace corvane::PushPreferencesStore {

inline constexpr const char* preamp1Key = "push.preamp1";
inline constexpr const char* preamp2Key = "push.preamp2";
inline constexpr const char* aftertouchKey = "push.aftertouch";
inline constexpr const char* displayBrightnessKey = "push.displayBrightness";
inline constexpr const char* ledBrightnessKey = "push.ledBrightness";

// Unknown modes read as absent; brightness is clamped into the Push's range.
PushPreferences load(const SettingReader& value);

// Integer pairs for the values that are set, in key order. Never asks for a key to be removed.
SettingPairs values(const PushPreferences& preferences);

}  // namespace corvane::PushPreferencesStore
