#include "platform/AtomicFile.h"

#include "platform/FileDescriptor.h"

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

// A temporary file beside the one it is to replace, closed and removed on any way out (an
// exception included) unless it took the file's place.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string pattern)
        : path_(std::move(pattern)), file_(::mkostemp(path_.data(), O_CLOEXEC)), created_(file_.valid()) {}
    ~TemporaryFile() {
        file_.reset();
        if (created_ && !renamed_) ::unlink(path_.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    bool created() const { return created_; }
    int descriptor() const { return file_.get(); }
    const std::string& path() const { return path_; }
    bool close() { return ::close(file_.release()) == 0; }
    bool renameTo(const fs::path& file) {
        renamed_ = ::rename(path_.c_str(), file.c_str()) == 0;
        return renamed_;
    }

private:
    std::string path_;
    FileDescriptor file_;
    const bool created_;
    bool renamed_ = false;
};

}  // namespace

std::optional<FileReplaceFailure> replaceFile(const fs::path& file, std::string_view text, fs::perms mode) {
    using Step = FileReplaceFailure::Step;
    const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    std::error_code created;
    fs::create_directories(folder, created);
    if (created) return FileReplaceFailure{Step::createFolder, created, folder};

    TemporaryFile temporary((folder / ("." + file.filename().string() + ".XXXXXX")).string());
    if (!temporary.created()) return FileReplaceFailure{Step::createTemporary, lastError(), folder};

    const int fd = temporary.descriptor();
    if (::fchmod(fd, static_cast<mode_t>(mode)) != 0 || !writeAll(fd, text)) {
        return FileReplaceFailure{Step::write, lastError(), temporary.path()};
    }
    if (::fsync(fd) != 0) return FileReplaceFailure{Step::sync, lastError(), temporary.path()};
    if (!temporary.close()) return FileReplaceFailure{Step::write, lastError(), temporary.path()};
    if (!temporary.renameTo(file)) return FileReplaceFailure{Step::replace, lastError(), file};
    // The rename itself lives in the folder.
    const FileDescriptor folderFD(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderFD.valid()) ::fsync(folderFD.get());
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
