#include "bridge/Autostart.h"

#include <glib.h>

#include <memory>
#include <string_view>
#include <system_error>
#include <variant>

#include "platform/AtomicFile.h"
#include "platform/UserFile.h"
#include "platform/XDGPaths.h"

namespace corvane {

namespace fs = std::filesystem;

namespace {

constexpr const char* group = "Desktop Entry";
// An entry takes a few hundred bytes; anything near this is not one.
constexpr std::size_t maxEntryMebibytes = 1;

using KeyFile = std::unique_ptr<GKeyFile, decltype(&g_key_file_unref)>;

KeyFile newKeyFile() { return KeyFile(g_key_file_new(), &g_key_file_unref); }

std::string dataOf(GKeyFile* file) {
    gsize length = 0;
    const std::unique_ptr<gchar, decltype(&g_free)> data(g_key_file_to_data(file, &length, nullptr), &g_free);
    return data ? std::string(data.get(), length) : std::string();
}

// A boolean key of the entry; absent when missing or neither "true" nor "false".
std::optional<bool> flag(GKeyFile* file, const char* key) {
    GError* error = nullptr;
    const bool value = g_key_file_get_boolean(file, group, key, &error);
    if (!error) return value;
    g_error_free(error);
    return std::nullopt;
}

// `text` as one argument of the Exec key, before the escaping that every string value gets: quoted
// when it holds a reserved character, and inside quotes `"`, backquote, `$` and `\` take a
// backslash; `%` would be a field code, so it is doubled.
std::string quotedArgument(const std::string& text) {
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
    return argument;
}

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
    // As a session reads it at login: no desktop entry starts nothing.
    const auto text = UserFile::read(entry_, maxEntryMebibytes);
    const auto* data = std::get_if<std::string>(&text);
    if (data == nullptr) return false;
    const KeyFile file = newKeyFile();
    if (!g_key_file_load_from_data(file.get(), data->data(), data->size(), G_KEY_FILE_NONE, nullptr)) return false;
    if (!g_key_file_has_group(file.get(), group)) return false;
    return flag(file.get(), "Hidden") != true && flag(file.get(), "X-GNOME-Autostart-enabled") != false;
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
    if (auto failure = replaceFileKeepingLink(entry_, entryText(program_), readable)) fail(failure->error, failure->path);
}

std::string Autostart::entryText(const fs::path& program) {
    const KeyFile file = newKeyFile();
    g_key_file_set_string(file.get(), group, "Type", "Application");
    g_key_file_set_string(file.get(), group, "Name", "Corvane");
    g_key_file_set_string(file.get(), group, "Comment", "Ableton Push 3 as the control surface of Cubase");
    g_key_file_set_string(file.get(), group, "Exec", quotedArgument(program.string()).c_str());
    g_key_file_set_boolean(file.get(), group, "Terminal", FALSE);
    g_key_file_set_boolean(file.get(), group, "X-GNOME-Autostart-enabled", TRUE);
    return dataOf(file.get());
}

std::string Autostart::execArgument(const std::string& text) {
    const KeyFile file = newKeyFile();
    g_key_file_set_string(file.get(), group, "Exec", quotedArgument(text).c_str());
    const std::unique_ptr<gchar, decltype(&g_free)> value(g_key_file_get_value(file.get(), group, "Exec", nullptr),
                                                          &g_free);
    return value ? value.get() : "";
}

}  // namespace corvane
