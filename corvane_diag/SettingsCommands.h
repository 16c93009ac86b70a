#pragma once
// The Push's own settings: reading them, and checking that it takes a pad velocity curve, with
// the player's curve kept in a backup file until it is back on the Push.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/Expected.h"
#include "core/MIDIMessage.h"
#include "corvane_diag/DiagEnvironment.h"

namespace corvane {

int pushSettingsCommand(DiagEnvironment& environment);
int velocityTestCommand(DiagEnvironment& environment);
int velocityRestoreCommand(DiagEnvironment& environment);

namespace VelocityCurve {

inline constexpr int length = 128;
// A curve takes under 600 bytes; anything near this is not one.
inline constexpr std::size_t maxBackupMebibytes = 1;

// The backup file in the data folder.
std::filesystem::path backupFile(const DiagEnvironment& environment);

// The 128 values as decimal integers, one blank between each, no line end.
std::string backupText(const std::vector<int>& values);
// Why a backup is not a curve: the first line (counted from 1) with something wrong, and what.
struct BackupProblem {
    int line = 1;
    std::string problem;
    bool operator==(const BackupProblem&) const = default;
};

// The 128 velocities of a backup: decimal integers (a sign allowed) split at blanks, all on one
// line, each 1...127, white space around them ignored. A piece quoted in a problem has its
// control bytes escaped.
Expected<std::vector<int>, BackupProblem> parseBackup(const std::string& text);

// The 8 framed writes of 16 entries each, ascending; needs at least 128 values.
std::vector<Bytes> curveChunks(const std::vector<int>& values);

// The curve as 8 rows of 16 cells, "  ?" for a missing entry, then how many are missing.
std::vector<std::string> curveLines(const std::vector<std::optional<int>>& curve);

}  // namespace VelocityCurve

}  // namespace corvane
