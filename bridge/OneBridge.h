#pragma once
// One bridge per user: a second would set the same Push up afresh and double every note.

#include <sys/types.h>

#include <optional>
#include <string>

namespace corvane::OneBridge {

// The lock file's name in the user's runtime folder (see InstanceLock::userFolders).
inline constexpr const char* lockName = "corvane-bridge.lock";

// "corvane-bridge is already running (process N)"; without the number when it is not known.
std::string alreadyRunning(std::optional<pid_t> holder);

}  // namespace corvane::OneBridge
