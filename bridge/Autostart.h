#pragma once
// "Start at Login": an XDG autostart entry, $XDG_CONFIG_HOME/autostart/corvane-bridge.desktop,
// that runs this program when the user logs in.
//
// Offered only for an installed program: a program run from its build folder (the folder that
// holds CMakeCache.txt) would otherwise be started at every login from a tree that may be gone
// or rebuilt tomorrow.

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

namespace corvane {

// what() is the reason, e.g. "/home/u/.config/autostart: Permission denied".
class AutostartError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Autostart {
public:
    static constexpr const char* fileName = "corvane-bridge.desktop";

    // `configHome` is the user's configuration folder; `program` the absolute path to start.
    Autostart(std::filesystem::path configHome, std::filesystem::path program);

    // The running program's own entry, when the program is installed; absent when it runs from
    // a build folder or its path cannot be told.
    static std::optional<Autostart> forThisProgram();
    // Whether `program` may be started at login: false inside a build folder.
    static bool offered(const std::filesystem::path& program);

    const std::filesystem::path& entryPath() const { return entry_; }
    // The entry is a desktop entry that a session would start: neither `Hidden=true` nor
    // `X-GNOME-Autostart-enabled=false`. Anything but a regular file of at most 1 MiB is none.
    bool enabled() const;
    // Writes the entry (atomically; through a symbolic link to a regular file, its target) or
    // removes it. Throws AutostartError.
    void setEnabled(bool on) const;

    // The entry's text for `program`.
    static std::string entryText(const std::filesystem::path& program);
    // `text` as one argument of a desktop entry's Exec key, as the entry stores it.
    static std::string execArgument(const std::string& text);

private:
    std::filesystem::path entry_;
    std::filesystem::path program_;
};

}  // namespace corvane
