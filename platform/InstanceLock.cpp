#include "platform/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/XDGPaths.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

std::string lastError() { return std::system_category().message(errno); }

// Nobody but this user may add, remove or replace what the folder holds.
std::optional<std::string> unsafeFolder(const struct stat& folder) {
    if (folder.st_uid != ::geteuid()) return "owned by another user";
    if ((folder.st_mode & (S_IWGRP | S_IWOTH)) != 0) return "others may write to it";
    return std::nullopt;
}

// Why a folder could not be opened as one; O_NOFOLLOW reports a link as ENOTDIR or ELOOP.
std::string unopenable(const fs::path& folder) {
    const std::string why = lastError();
    struct stat info {};
    if (::lstat(folder.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) return "a symbolic link";
    return why;
}

// The process id the holder wrote, waiting a moment for a holder that has only just locked.
std::optional<pid_t> holderOf(int fd) {
    for (int attempt = 0; attempt < 25; ++attempt) {
        char text[32];
        const ssize_t size = ::pread(fd, text, sizeof text - 1, 0);
        if (size > 0) {
            long pid = 0;
            const auto [end, error] = std::from_chars(text, text + size, pid);
            if (error == std::errc() && end < text + size && *end == '\n' && pid > 0)
                return static_cast<pid_t>(pid);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::nullopt;
}

void writeProcessID(int fd) {
    const std::string text = std::to_string(::getpid()) + "\n";
    // Only a courtesy for the next start's message: a failure costs nothing but the number.
    if (::ftruncate(fd, 0) != 0) return;
    [[maybe_unused]] const ssize_t written = ::pwrite(fd, text.data(), text.size(), 0);
}

}  // namespace

std::variant<InstanceLock, InstanceLock::Busy, std::string> InstanceLock::tryFolder(const Folder& folder,
                                                                                    const std::string& name) {
    if (folder.create) {
        std::error_code ignored;
        fs::create_directories(folder.path.parent_path(), ignored);
        if (::mkdir(folder.path.c_str(), 0700) != 0 && errno != EEXIST) return lastError();
    }
    const FileDescriptor directory(
        ::open(folder.path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!directory.valid()) return unopenable(folder.path);
    struct stat info {};
    if (::fstat(directory.get(), &info) != 0) return lastError();
    if (auto why = unsafeFolder(info)) return *why;

    // O_NONBLOCK: a FIFO put in the file's place must not hang the start.
    FileDescriptor file(::openat(directory.get(), name.c_str(),
                                 O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600));
    if (!file.valid()) return name + (errno == ELOOP ? " is a symbolic link" : ": " + lastError());
    if (::fstat(file.get(), &info) != 0) return lastError();
    if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) return name + " is not a file of this user";

    while (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) return InstanceLock::Busy{holderOf(file.get())};
        if (errno != EINTR) return name + ": " + lastError();
    }
    writeProcessID(file.get());
    return InstanceLock(std::move(file), folder.path / name);
}

InstanceLock::InstanceLock(FileDescriptor file, fs::path path)
    : file_(std::move(file)), path_(std::move(path)) {}

std::vector<InstanceLock::Folder> InstanceLock::userFolders() {
    const std::string user = std::to_string(::geteuid());
    std::vector<Folder> folders;
    if (fs::path runtime = XDGPaths::runtimeHome(); !runtime.empty()) folders.push_back({runtime, false});
    folders.push_back({fs::path("/run/user") / user, false});
    // Not $TMPDIR: it may differ from one session of the user to the next.
    folders.push_back({fs::path("/tmp") / ("corvane-" + user), true});
    folders.push_back({XDGPaths::corvaneStateDirectory(), true});
    return folders;
}

InstanceLock::Outcome InstanceLock::acquire(const std::string& name, const std::vector<Folder>& folders) {
    std::string why;
    for (const Folder& folder : folders) {
        auto attempt = tryFolder(folder, name);
        if (auto* lock = std::get_if<InstanceLock>(&attempt)) return std::move(*lock);
        if (auto* busy = std::get_if<Busy>(&attempt)) return *busy;
        if (!why.empty()) why += "; ";
        why += folder.path.string() + ": " + std::get<std::string>(attempt);
    }
    return Unavailable{why.empty() ? "no folder to hold the lock" : why};
}

}  // namespace corvane
