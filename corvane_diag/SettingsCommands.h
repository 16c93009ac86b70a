#pragma once
// The Push's own settings: reading them, and checking that it takes a pad velocity curve, with
// the player's curve kept in a backup file until it is back on the Push.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/MIDIMessage.h"
#include "corvane_diag/DiagEnvironment.h"

namespace corvane {

int pushSettingsCommand(DiagEnvironment& environment);
int velocityTestCommand(DiagEnvironment& environment);
int velocityRestoreCommand(DiagEnvironment& environment);

namespace VelocityCurve {

inline constexpr int length = 128;

// The backup file in the data folder.
std::filesystem::path backupFile(const DiagEnvironment& environment);

// The 128 values as decimal integers, one blank between each, no line end.
std::string backupText(const std::vector<int>& values);
// The values that read as decimal integers from pieces split at single blanks; the caller checks
// the count.
std::vector<int> parseBackup(const std::string& text);

// The 8 framed writes of 16 entries each, ascending; needs at least 128 values.
std::vector<Bytes> curveChunks(const std::vector<int>& values);

// The curve as 8 rows of 16 cells, "  ?" for a missing entry, then how many are missing.
std::vector<std::string> curveLines(const std::vector<std::optional<int>>& curve);

}  // namespace VelocityCurve

}  // namespace corvane
