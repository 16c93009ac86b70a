#pragma once
// One running copy of a program per user: an advisory lock (flock) on a file in one of the
// user's own folders, held for the life of the process. The kernel lets go of it however the
// process ends, so a crash or a power cut leaves nothing to clean up by hand.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/FileDescriptor.h"

namespace corvane {

class InstanceLock {
public:
    // Another process holds the lock; its process id when the lock file names it.
    struct Busy {
        std::optional<pid_t> holder;
    };
    // No folder could hold the lock; why, folder by folder.
    struct Unavailable {
        std::string why;
    };
    using Outcome = std::variant<InstanceLock, Busy, Unavailable>;

    // A folder the lock may live in; made with mode 0700 when `create` is set and it is missing.
    struct Folder {
        std::filesystem::path path;
        bool create = false;
    };

    // Best first: $XDG_RUNTIME_DIR, /run/user/<uid>, /tmp/corvane-<uid>, then
    // Corvane's state folder. Every process of the user walks the same list, so all meet at the
    // first folder that is safe.
    static std::vector<Folder> userFolders();

    // Takes the lock on the file `name` in the first folder that is safe: a real folder, not a
    // symbolic link, owned by this user and writable by nobody else, where `name` is, or can be
    // made, a regular file of this user. Links are never followed; an unsafe folder or file is
    // passed over, never changed. Waits for nothing.
    static Outcome acquire(const std::string& name, const std::vector<Folder>& folders);

    // Destroying it lets go of the lock. The file stays, so no process can be left holding a
    // lock on a file that no longer has its name.

    const std::filesystem::path& path() const { return path_; }

private:
    InstanceLock(FileDescriptor file, std::filesystem::path path);
    // The lock in one folder, or why that folder cannot hold it.
    static std::variant<InstanceLock, Busy, std::string> tryFolder(const Folder& folder,
                                                                   const std::string& name);

    FileDescriptor file_;
    std::filesystem::path path_;
};

}  // namespace corvane
