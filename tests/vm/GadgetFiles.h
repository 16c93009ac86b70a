#pragma once
// A USB gadget's configfs tree, as both test gadgets build it: each step that fails throws with the
// system's reason; tearing down ignores what is already gone.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
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

// The configfs folder for gadget `name`.
inline std::filesystem::path gadgetFolder(const std::string& name) {
    const std::filesystem::path gadgets = "/sys/kernel/config/usb_gadget";
    if (!std::filesystem::is_directory(gadgets)) {
        errno = ENOENT;
        fail(gadgets.string() + " (configfs and libcomposite loaded?)");
    }
    return gadgets / name;
}

// The device's ids and Ableton's strings, one configuration, and `function` linked into it.
inline void buildGadget(const std::filesystem::path& gadget, unsigned vendorID, unsigned productID,
                        const std::string& serial, const std::string& configuration, const std::string& function) {
    makeDirectory(gadget);
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%04x", vendorID);
    writeFile(gadget / "idVendor", hex);
    std::snprintf(hex, sizeof hex, "0x%04x", productID);
    writeFile(gadget / "idProduct", hex);
    writeFile(gadget / "bcdUSB", "0x0200");
    makeDirectory(gadget / "strings/0x409");
    writeFile(gadget / "strings/0x409/manufacturer", "Ableton");
    writeFile(gadget / "strings/0x409/product", "Ableton Push 3");
    writeFile(gadget / "strings/0x409/serialnumber", serial);
    makeDirectory(gadget / "configs/c.1");
    makeDirectory(gadget / "configs/c.1/strings/0x409");
    writeFile(gadget / "configs/c.1/strings/0x409/configuration", configuration);
    makeDirectory(gadget / "functions" / function);
}

// After the function's own settings: the configuration takes it.
inline void linkFunction(const std::filesystem::path& gadget, const std::string& function) {
    if (symlink((gadget / "functions" / function).c_str(), (gadget / "configs/c.1" / function).c_str()) != 0 &&
        errno != EEXIST) {
        fail("link the function into the configuration");
    }
}

// Unbinds the gadget from its controller, if it is bound.
inline void releaseController(const std::filesystem::path& gadget) {
    std::error_code ignored;
    if (!std::filesystem::exists(gadget / "UDC", ignored)) return;
    const int fd = open((gadget / "UDC").c_str(), O_WRONLY);
    if (fd < 0) return;
    [[maybe_unused]] auto written = write(fd, "\n", 1);
    close(fd);
}

// Everything buildGadget and linkFunction made, innermost first.
inline void removeGadget(const std::filesystem::path& gadget, const std::string& function) {
    unlink((gadget / "configs/c.1" / function).c_str());
    rmdir((gadget / "configs/c.1/strings/0x409").c_str());
    rmdir((gadget / "configs/c.1").c_str());
    rmdir((gadget / "functions" / function).c_str());
    rmdir((gadget / "strings/0x409").c_str());
    rmdir(gadget.c_str());
}

}  // namespace corvane::vm
