#include "platform/UserFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <system_error>

namespace corvane::UserFile {

namespace {

constexpr std::size_t mebibyte = 1024 * 1024;

Unusable systemError(int error) { return Unusable{error, std::generic_category().message(error)}; }

Unusable notRegular() { return Unusable{0, "not a regular file"}; }

// Looked at before opening as well as after: opening a device or a FIFO may itself do something.
// `info` ends up describing the open file.
std::variant<FileDescriptor, Unusable> openRegular(const std::filesystem::path& path, int flags, mode_t mode,
                                                   struct stat& info) {
    if (::stat(path.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode)) return notRegular();
    } else if (errno != ENOENT || (flags & O_CREAT) == 0) {
        return systemError(errno);
    }
    // O_NONBLOCK: a FIFO slipped in after the look must not hang the open.
    FileDescriptor file(::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, mode));
    if (!file.valid()) return systemError(errno);
    if (::fstat(file.get(), &info) != 0) return systemError(errno);
    if (!S_ISREG(info.st_mode)) return notRegular();
    return file;
}

}  // namespace

std::variant<std::string, Unusable> read(const std::filesystem::path& path, std::size_t maxMebibytes) {
    struct stat info {};
    auto opened = openRegular(path, O_RDONLY, 0, info);
    if (auto* problem = std::get_if<Unusable>(&opened)) return std::move(*problem);
    const FileDescriptor file = std::get<FileDescriptor>(std::move(opened));
    const std::size_t maxBytes = maxMebibytes * mebibyte;
    const Unusable tooLarge{0, "larger than " + std::to_string(maxMebibytes) + " MiB"};
    if (static_cast<std::uintmax_t>(info.st_size) > maxBytes) return tooLarge;

    // The size is only a hint: the file may grow while it is read.
    std::string text;
    text.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(file.get(), buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return systemError(errno);
        }
        if (text.size() + static_cast<std::size_t>(n) > maxBytes) return tooLarge;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

std::variant<FileDescriptor, Unusable> openToAppend(const std::filesystem::path& path, mode_t mode) {
    struct stat info {};
    return openRegular(path, O_WRONLY | O_CREAT | O_APPEND, mode, info);
}

}  // namespace corvane::UserFile
