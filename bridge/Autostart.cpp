#include "bridge/Autostart.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/XDGPaths.h"

namespace corvane {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const fs::path& path, int error) {
    throw AutostartError(path.string() + ": " + std::strerror(error));
}

[[noreturn]] void fail(const std::error_code& error, const fs::path& path) {
    throw AutostartError(path.string() + ": " + error.message());
}

void writeAll(int fd, const std::string& text, const fs::path& path) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            fail(path, error);
        }
        done += static_cast<std::size_t>(n);
    }
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
    const fs::path folder = entry_.parent_path();
    fs::create_directories(folder, error);
    if (error) fail(error, folder);
    const fs::path temporary = folder / (std::string(".") + fileName + ".tmp");
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) fail(temporary, errno);
    writeAll(fd, entryText(program_), temporary);
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int failure = errno;
        fs::remove(temporary, error);
        fail(temporary, failure);
    }
    if (::rename(temporary.c_str(), entry_.c_str()) != 0) {
        const int failure = errno;
        fs::remove(temporary, error);
        fail(entry_, failure);
    }
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
