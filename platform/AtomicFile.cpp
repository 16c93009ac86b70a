#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace corvane {

namespace fs = std::filesystem;

namespace {

std::error_code lastError() { return {errno, std::generic_category()}; }

bool writeAll(int fd, std::string_view text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::optional<FileReplaceFailure> replaceFile(const fs::path& file, std::string_view text, fs::perms mode) {
    using Step = FileReplaceFailure::Step;
    const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    std::error_code created;
    fs::create_directories(folder, created);
    if (created) return FileReplaceFailure{Step::createFolder, created, folder};

    std::string temporary = (folder / ("." + file.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return FileReplaceFailure{Step::createTemporary, lastError(), folder};

    std::optional<FileReplaceFailure> failure;
    if (::fchmod(fd, static_cast<mode_t>(mode)) != 0 || !writeAll(fd, text)) {
        failure = FileReplaceFailure{Step::write, lastError(), temporary};
    } else if (::fsync(fd) != 0) {
        failure = FileReplaceFailure{Step::sync, lastError(), temporary};
    }
    if (::close(fd) != 0 && !failure) failure = FileReplaceFailure{Step::write, lastError(), temporary};
    if (!failure && ::rename(temporary.c_str(), file.c_str()) != 0) {
        failure = FileReplaceFailure{Step::replace, lastError(), file};
    }
    if (failure) {
        ::unlink(temporary.c_str());
        return failure;
    }
    // The rename itself lives in the folder.
    const int folderFD = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFD >= 0) {
        ::fsync(folderFD);
        ::close(folderFD);
    }
    return std::nullopt;
}

std::optional<FileReplaceFailure> replaceFileKeepingLink(const fs::path& file, std::string_view text,
                                                         fs::perms mode) {
    std::error_code error;
    if (fs::is_symlink(fs::symlink_status(file, error)) && fs::is_regular_file(fs::status(file, error))) {
        const fs::path target = fs::canonical(file, error);
        if (!error) return replaceFile(target, text, mode);
    }
    return replaceFile(file, text, mode);
}

}  // namespace corvane
