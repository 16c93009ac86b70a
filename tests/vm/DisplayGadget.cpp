#include "tests/vm/DisplayGadget.h"

#include <fcntl.h>
#include <libusb.h>
#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "tests/vm/GadgetFiles.h"

namespace corvane::vm {
namespace {

namespace fs = std::filesystem;

constexpr int endpointCount = 4;
// Interrupts a reader blocked in read() on an endpoint: FunctionFS waits interruptibly and
// gives the request back when a signal arrives.
const int interruptSignal = SIGRTMIN + 3;

void put16(std::vector<std::uint8_t>& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(std::vector<std::uint8_t>& out, unsigned value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

void patch32(std::vector<std::uint8_t>& out, std::size_t at, unsigned value) {
    for (int i = 0; i < 4; ++i)
        out[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// One speed's descriptors: the vendor-class interface 0 and its four bulk OUT endpoints.
void putFunction(std::vector<std::uint8_t>& out, unsigned maxPacket) {
    out.insert(out.end(), {USB_DT_INTERFACE_SIZE, USB_DT_INTERFACE, 0, 0, endpointCount,
                           USB_CLASS_VENDOR_SPEC, 0, 0, 1});
    for (int i = 1; i <= endpointCount; ++i) {
        out.insert(out.end(), {USB_DT_ENDPOINT_SIZE, USB_DT_ENDPOINT,
                               static_cast<std::uint8_t>(USB_DIR_OUT | i), USB_ENDPOINT_XFER_BULK});
        put16(out, maxPacket);
        out.push_back(0);
    }
}

void ignoreSignal(int) {}

void installInterruptHandler() {
    static const bool installed = [] {
        struct sigaction action {};
        action.sa_handler = ignoreSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;  // no SA_RESTART: the blocked read must return
        sigaction(interruptSignal, &action, nullptr);
        return true;
    }();
    (void)installed;
}

}  // namespace

DisplayGadget::DisplayGadget() : DisplayGadget(Options{}) {}

DisplayGadget::DisplayGadget(Options options) : options_(std::move(options)) {
    installInterruptHandler();
    if (pipe(wake_) != 0) fail("pipe");
    try {
        build();
        writeDescriptors();
        control_ = std::thread([this] { control(); });
        reader_ = std::thread([this] { readLoop(); });
        bind();
    } catch (...) {
        teardown();
        throw;
    }
}

DisplayGadget::~DisplayGadget() { teardown(); }

void DisplayGadget::teardown() {
    stopThreads();
    if (!gadget_.empty()) releaseController(gadget_);
    for (int fd : endpoints_) close(fd);
    endpoints_.clear();
    if (ep0_ >= 0) close(ep0_);
    ep0_ = -1;
    if (!mount_.empty()) {
        umount2(mount_.c_str(), MNT_DETACH);
        rmdir(mount_.c_str());
        mount_.clear();
    }
    if (!gadget_.empty()) {
        removeGadget(gadget_, "ffs." + options_.name);
        gadget_.clear();
    }
    for (int& fd : wake_) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
}

void DisplayGadget::build() {
    gadget_ = gadgetFolder(options_.name);
    const auto function = "ffs." + options_.name;
    buildGadget(gadget_, options_.vendorID, options_.productID, "CORVANE-VM-0001", "Push 3", function);
    linkFunction(gadget_, function);

    char folder[] = "/tmp/corvane-ffs.XXXXXX";
    if (mkdtemp(folder) == nullptr) fail("mkdtemp");
    if (mount(options_.name.c_str(), folder, "functionfs", 0, nullptr) != 0) {
        const int error = errno;
        rmdir(folder);
        errno = error;
        fail("mount functionfs");
    }
    mount_ = folder;
}

void DisplayGadget::writeDescriptors() {
    ep0_ = open((mount_ / "ep0").c_str(), O_RDWR);
    if (ep0_ < 0) fail("open ep0");

    std::vector<std::uint8_t> descriptors;
    put32(descriptors, FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
    put32(descriptors, 0);  // length, patched below
    put32(descriptors, FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC);
    put32(descriptors, 1 + endpointCount);
    put32(descriptors, 1 + endpointCount);
    putFunction(descriptors, 64);
    putFunction(descriptors, 512);
    patch32(descriptors, 4, static_cast<unsigned>(descriptors.size()));
    if (write(ep0_, descriptors.data(), descriptors.size()) != static_cast<ssize_t>(descriptors.size())) {
        fail("write the descriptors");
    }

    const std::string label = "Push 3 Display";
    std::vector<std::uint8_t> strings;
    put32(strings, FUNCTIONFS_STRINGS_MAGIC);
    put32(strings, 0);
    put32(strings, 1);  // strings per language
    put32(strings, 1);  // languages
    put16(strings, 0x0409);
    strings.insert(strings.end(), label.begin(), label.end());
    strings.push_back(0);
    patch32(strings, 4, static_cast<unsigned>(strings.size()));
    if (write(ep0_, strings.data(), strings.size()) != static_cast<ssize_t>(strings.size())) {
        fail("write the strings");
    }

    for (int i = 1; i <= endpointCount; ++i) {
        const auto path = mount_ / ("ep" + std::to_string(i));
        const int fd = open(path.c_str(), O_RDWR);
        if (fd < 0) fail("open " + path.string());
        endpoints_.push_back(fd);
    }
}

void DisplayGadget::bind() { writeFile(gadget_ / "UDC", options_.udc); }

void DisplayGadget::unbind() {
    writeFile(gadget_ / "UDC", "\n");
    std::lock_guard lock(mutex_);
    enabled_ = false;
    changed_.notify_all();
}

bool DisplayGadget::waitUntilEnabled(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return enabled_; });
}

bool DisplayGadget::waitUntilVisible(bool present, std::chrono::milliseconds timeout) const {
    const auto listed = [this] {
        // A fresh context scans afresh; a long-lived one would only know what its hot-plug saw.
        libusb_context* context = nullptr;
        if (libusb_init(&context) != 0) return false;
        libusb_device** list = nullptr;
        const auto count = libusb_get_device_list(context, &list);
        bool found = false;
        for (ssize_t i = 0; i < count; ++i) {
            libusb_device_descriptor device{};
            libusb_get_device_descriptor(list[i], &device);
            found |= device.idVendor == options_.vendorID && device.idProduct == options_.productID;
        }
        if (count >= 0) libusb_free_device_list(list, 1);
        libusb_exit(context);
        return found;
    };
    for (const auto until = std::chrono::steady_clock::now() + timeout;;) {
        if (listed() == present) return true;
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void DisplayGadget::control() {
    pollfd fds[2] = {{ep0_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents != 0) return;
        usb_functionfs_event events[4];
        const auto length = read(ep0_, events, sizeof events);
        if (length < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return;
        }
        for (std::size_t i = 0; i < static_cast<std::size_t>(length) / sizeof events[0]; ++i) {
            const auto& event = events[i];
            if (event.type == FUNCTIONFS_SETUP) {
                // No control request of the function is answered: stall it, by doing the opposite of
                // what the host asked for.
                if (event.u.setup.bRequestType & USB_DIR_IN) {
                    [[maybe_unused]] auto ignored = write(ep0_, nullptr, 0);
                } else {
                    [[maybe_unused]] auto ignored = read(ep0_, nullptr, 0);
                }
                continue;
            }
            std::lock_guard lock(mutex_);
            if (event.type == FUNCTIONFS_ENABLE) enabled_ = true;
            if (event.type == FUNCTIONFS_DISABLE || event.type == FUNCTIONFS_UNBIND) enabled_ = false;
            changed_.notify_all();
        }
    }
}

void DisplayGadget::readLoop() {
    findReadEndpoint();
    std::vector<std::uint8_t> buffer(65536);
    std::unique_lock lock(mutex_);
    for (;;) {
        if (!reading_ && !quitting_) {
            parked_ = true;
            changed_.notify_all();
            changed_.wait(lock, [&] { return quitting_ || reading_; });
            parked_ = false;
        }
        if (quitting_ || readFd_ < 0) break;
        lock.unlock();
        const auto length = read(readFd_, buffer.data(), buffer.size());
        const int error = errno;
        lock.lock();
        if (length > 0) {
            stream_.insert(stream_.end(), buffer.begin(), buffer.begin() + length);
            changed_.notify_all();
        } else if (length < 0 && error != EINTR) {
            // Disabled or unbound: the next read waits for the function to come back. A short pause
            // keeps a failing endpoint from spinning.
            changed_.wait_for(lock, std::chrono::milliseconds(10), [&] { return quitting_; });
        }
    }
    readerDone_ = true;
    changed_.notify_all();
}

void DisplayGadget::findReadEndpoint() {
    // Which of the four endpoints the host calls 0x01 is known once the function is enabled; the
    // ioctl waits for that.
    for (int fd : endpoints_) {
        usb_endpoint_descriptor descriptor{};
        while (ioctl(fd, FUNCTIONFS_ENDPOINT_DESC, &descriptor) < 0) {
            std::lock_guard lock(mutex_);
            if (quitting_ || errno != EINTR) return;
        }
        std::lock_guard lock(mutex_);
        if (descriptor.bEndpointAddress == displayEndpoint || readFd_ < 0) {
            readFd_ = fd;
            readAddress_ = descriptor.bEndpointAddress;
            if (readAddress_ == displayEndpoint) return;
        }
    }
}

void DisplayGadget::stopReading() {
    std::unique_lock lock(mutex_);
    reading_ = false;
    // A read in progress keeps its request queued: interrupt it until the reader is parked.
    for (int i = 0; i < 100 && !parked_ && !readerDone_; ++i) {
        pthread_kill(reader_.native_handle(), interruptSignal);
        changed_.wait_for(lock, std::chrono::milliseconds(20), [&] { return parked_ || readerDone_; });
    }
}

void DisplayGadget::startReading() {
    std::lock_guard lock(mutex_);
    reading_ = true;
    changed_.notify_all();
}

std::vector<std::uint8_t> DisplayGadget::take(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, timeout, [&] { return stream_.size() >= count; })) return {};
    std::vector<std::uint8_t> bytes(stream_.begin(), stream_.begin() + static_cast<std::ptrdiff_t>(count));
    stream_.erase(stream_.begin(), stream_.begin() + static_cast<std::ptrdiff_t>(count));
    return bytes;
}

std::size_t DisplayGadget::available() const {
    std::lock_guard lock(mutex_);
    return stream_.size();
}

void DisplayGadget::stopThreads() {
    {
        std::lock_guard lock(mutex_);
        quitting_ = true;
        changed_.notify_all();
    }
    if (wake_[1] >= 0) [[maybe_unused]]
        auto written = write(wake_[1], "x", 1);
    if (control_.joinable()) control_.join();
    if (!reader_.joinable()) return;
    std::unique_lock lock(mutex_);
    while (!readerDone_) {
        pthread_kill(reader_.native_handle(), interruptSignal);
        changed_.wait_for(lock, std::chrono::milliseconds(20), [&] { return readerDone_; });
    }
    lock.unlock();
    reader_.join();
}

}  // namespace corvane::vm
