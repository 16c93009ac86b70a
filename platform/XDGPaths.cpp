#include "platform/XDGPaths.h"

#include <pwd.h>
#include <unistd.h>
#include <cstdlib>
#include <system_error>
#include <vector>

namespace corvane::XDGPaths {
namespace {

std::filesystem::path absoluteVariable(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] != '/') return {};
    return value;
}

std::filesystem::path underHome(const char* variable, const char* fallback) {
    std::filesystem::path path = absoluteVariable(variable);
    return path.empty() ? home() / fallback : path;
}

}  // namespace

std::filesystem::path home() {
    if (std::filesystem::path path = absoluteVariable("HOME"); !path.empty()) return path;
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && found->pw_dir[0] == '/') {
        return found->pw_dir;
    }
    // No home anywhere (a stripped-down service account): somewhere writable beats nothing.
    std::error_code error;
    std::filesystem::path temp = std::filesystem::temp_directory_path(error);
    return error ? std::filesystem::path("/tmp") : temp;
}

std::filesystem::path configHome() { return underHome("XDG_CONFIG_HOME", ".config"); }
std::filesystem::path stateHome() { return underHome("XDG_STATE_HOME", ".local/state"); }
std::filesystem::path dataHome() { return underHome("XDG_DATA_HOME", ".local/share"); }
std::filesystem::path runtimeHome() { return absoluteVariable("XDG_RUNTIME_DIR"); }

std::filesystem::path corvaneConfigDirectory() { return configHome() / "corvane"; }
std::filesystem::path corvaneStateDirectory() { return stateHome() / "corvane"; }
std::filesystem::path corvaneDataDirectory() { return dataHome() / "corvane"; }

}  // namespace corvane::XDGPaths
