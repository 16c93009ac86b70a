#include "bridge/Autostart.h"

#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/AtomicFile.h"
#include "platform/XDGPaths.h"

namespace corvane {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const std::error_code& error, const fs::path& path) {
    throw AutostartError(path.string() + ": " + error.message());
}

}  // namespace

Autostart::Autostart(fs::path configHome, fs::path program)
    : entry_(std::move(configHome) / "autostart" / fileName), program_(std::move(program)) {}

std::optional<Autostart> Autostart::forThisProgram() {
    std::error_code error;
    const fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (error || !program.is_absolute() || !offered(program)) return std::nullopt;
    return Autostart(XDGPaths::configHome(), program);
}

bool Autostart::offered(const fs::path& program) {
    std::error_code error;
    return !fs::exists(program.parent_path() / "CMakeCache.txt", error) && !error;
}

bool Autostart::enabled() const {
    std::ifstream file(entry_);
    if (!file) return false;
    std::string line;
    while (std::getline(file, line)) {
        if (line == "Hidden=true") return false;
    }
    return true;
}

void Autostart::setEnabled(bool on) const {
    std::error_code error;
    if (!on) {
        fs::remove(entry_, error);
        if (error) fail(error, entry_);
        return;
    }
    const fs::perms readable = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                               fs::perms::others_read;
    if (auto failure = replaceFile(entry_, entryText(program_), readable)) fail(failure->error, failure->path);
}

std::string Autostart::entryText(const fs::path& program) {
    std::string text =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=Corvane\n"
        "Comment=Ableton Push 3 as the control surface of Cubase\n"
        "Exec=";
    text += execArgument(program.string());
    text +=
        "\n"
        "Terminal=false\n"
        "X-GNOME-Autostart-enabled=true\n";
    return text;
}

std::string Autostart::execArgument(const std::string& text) {
    // Quoted when it holds a reserved character; inside quotes `"`, backquote, `$` and `\` take a
    // backslash. Then, as for every string value, each `\` is doubled; `%` is a field code
    // unless doubled.
    static constexpr std::string_view reserved = " \t\n\"'\\><~|&;$*?#()`";
    const bool quote = text.find_first_of(reserved) != std::string::npos;
    std::string argument;
    if (quote) argument += '"';
    for (char c : text) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) argument += '\\';
        if (c == '%') argument += '%';
        argument += c;
    }
    if (quote) argument += '"';
    std::string value;
    for (char c : argument) {
        if (c == '\\') value += '\\';
        if (c == '\n') {
            value += "\\n";
            continue;
        }
        value += c;
    }
    return value;
}

}  // namespace corvane
