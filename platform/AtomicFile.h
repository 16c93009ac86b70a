#pragma once

#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>

namespace corvane {

// Why replacing a file failed, and the file or folder the failing step was about.
struct FileReplaceFailure {
    enum class Step { createFolder, createTemporary, write, sync, replace };
    Step step;
    std::error_code error;
    std::filesystem::path path;
};

// Replaces `file` with `text` so that a crash at any moment leaves the old file or the new one:
// a temporary file beside it, synced, renamed over it, then the folder synced. Creates the folder
// first. On failure the old file is untouched and no temporary file is left behind, nor an open
// descriptor, be the failure returned or thrown (std::bad_alloc).
std::optional<FileReplaceFailure> replaceFile(const std::filesystem::path& file, std::string_view text,
                                              std::filesystem::perms mode);

// As replaceFile, except that a symbolic link to a regular file stays as it is and its target is
// replaced, beside the target: a user who keeps the file with their dotfiles keeps it there. A
// link that dangles or leads to anything else is replaced like a file.
std::optional<FileReplaceFailure> replaceFileKeepingLink(const std::filesystem::path& file, std::string_view text,
                                                         std::filesystem::perms mode);

}  // namespace corvane
