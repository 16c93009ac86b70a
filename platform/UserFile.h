#pragma once
// Files the programs find by name in the user's own folders, where anything may stand in their
// place: a FIFO, a device, a folder, a socket or a file of gigabytes. Symbolic links are
// followed, so a dotfile manager's link to a real file keeps working; only a regular file is
// used, nothing blocks, and a read never takes more than its bound.

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <variant>

#include <sys/types.h>

#include "platform/FileDescriptor.h"

namespace corvane::UserFile {

// Why a file cannot be read or used.
struct Unusable {
    int error = 0;       // the system's error number; 0 when the file itself is the problem
    std::string reason;  // "not a regular file", "larger than N MiB" or the system's own text
    bool missing() const { return error == ENOENT; }
};

// The whole file when it is a regular file of at most `maxMebibytes` MiB.
std::variant<std::string, Unusable> read(const std::filesystem::path& path, std::size_t maxMebibytes);

// The file opened for appending, created with `mode` when absent; refused when it is there but
// is not a regular file.
std::variant<FileDescriptor, Unusable> openToAppend(const std::filesystem::path& path, mode_t mode);

}  // namespace corvane::UserFile
