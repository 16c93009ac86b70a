#pragma once
// Writing a USB gadget's configfs tree: each step that fails throws with the system's reason.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace corvane::vm {

[[noreturn]] inline void fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

inline void writeFile(const std::filesystem::path& path, const std::string& text) {
    const int fd = open(path.c_str(), O_WRONLY);
    if (fd < 0) fail("open " + path.string());
    const auto written = write(fd, text.data(), text.size());
    const int error = errno;
    close(fd);
    errno = error;
    if (written != static_cast<ssize_t>(text.size())) fail("write " + path.string());
}

inline void makeDirectory(const std::filesystem::path& path) {
    if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) fail("mkdir " + path.string());
}

}  // namespace corvane::vm
