#pragma once
// PadSettings in the user defaults, under keys beginning with "pads.". The caller reads and
// writes the store; this only turns settings into pairs and back, migrating older keys.

#include "core/PadSettings.h"
#include "platform/SettingValue.h"

namespace corvane::PadStore {

inline constexpr const char* rootKey = "pads.root";
inline constexpr const char* scaleNameKey = "pads.scaleName";
inline constexpr const char* inKeyKey = "pads.inKey";
inline constexpr const char* drumsKey = "pads.drums";
inline constexpr const char* noteLayoutKey = "pads.noteLayout";
inline constexpr const char* fixedKey = "pads.fixed";
inline constexpr const char* octaveKey = "pads.octave";
// Written by earlier versions and still read.
inline constexpr const char* legacyLayoutKey = "pads.layout";
inline constexpr const char* legacyScaleKey = "pads.scale";
// The bridge stores LocalUI::repeatRate here itself.
inline constexpr const char* repeatRateKey = "pads.repeatRate";

PadSettings load(const SettingReader& value);

// The seven pairs to store. settings.scaleIndex must index the scale table.
SettingPairs values(const PadSettings& settings);

}  // namespace corvane::PadStore
