#pragma once
// The per-user folders of the XDG base directory rules. A variable counts only when it is set
// to an absolute path; otherwise the usual folder inside the home folder applies. The home
// folder is $HOME when that is absolute, else the user's password-database entry.

#include <filesystem>

namespace corvane::XDGPaths {

std::filesystem::path home();
std::filesystem::path configHome();  // $XDG_CONFIG_HOME or ~/.config
std::filesystem::path stateHome();   // $XDG_STATE_HOME or ~/.local/state
std::filesystem::path dataHome();    // $XDG_DATA_HOME or ~/.local/share
// $XDG_RUNTIME_DIR; empty when it is not set to an absolute path, since it has no default.
std::filesystem::path runtimeHome();

// Corvane's own folder inside each.
std::filesystem::path corvaneConfigDirectory();
std::filesystem::path corvaneStateDirectory();
std::filesystem::path corvaneDataDirectory();

}  // namespace corvane::XDGPaths
