#include "tests/vm/MIDIGadget.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "tests/vm/GadgetFiles.h"

namespace corvane::vm {
namespace {

namespace fs = std::filesystem;

// The card the function registers on the gadget side, found by this id.
constexpr const char* cardID = "PushGadget";
constexpr const char* function = "midi.corvane";

}  // namespace

MIDIGadget::MIDIGadget() {
    try {
        const fs::path gadgets = "/sys/kernel/config/usb_gadget";
        if (!fs::is_directory(gadgets)) {
            errno = ENOENT;
            fail(gadgets.string() + " (configfs and libcomposite loaded?)");
        }
        gadget_ = gadgets / "corvane-midi";
        makeDirectory(gadget_);
        writeFile(gadget_ / "idVendor", "0x2982");
        writeFile(gadget_ / "idProduct", "0x1970");  // not the display's, which other tests look for
        writeFile(gadget_ / "bcdUSB", "0x0200");
        makeDirectory(gadget_ / "strings/0x409");
        writeFile(gadget_ / "strings/0x409/manufacturer", "Ableton");
        writeFile(gadget_ / "strings/0x409/product", "Ableton Push 3");
        writeFile(gadget_ / "strings/0x409/serialnumber", "CORVANE-VM-0002");
        makeDirectory(gadget_ / "configs/c.1");
        makeDirectory(gadget_ / "configs/c.1/strings/0x409");
        writeFile(gadget_ / "configs/c.1/strings/0x409/configuration", "Push 3 MIDI");
        const fs::path midi = gadget_ / "functions" / function;
        makeDirectory(midi);
        writeFile(midi / "in_ports", "2");
        writeFile(midi / "out_ports", "2");
        writeFile(midi / "id", cardID);
        if (symlink(midi.c_str(), (gadget_ / "configs/c.1" / function).c_str()) != 0 && errno != EEXIST) {
            fail("link the function into the configuration");
        }
        bind();
    } catch (...) {
        teardown();
        throw;
    }
}

MIDIGadget::~MIDIGadget() { teardown(); }

void MIDIGadget::teardown() {
    closeRawMIDI();
    if (gadget_.empty()) return;
    std::error_code ignored;
    if (fs::exists(gadget_ / "UDC", ignored)) {
        const int fd = open((gadget_ / "UDC").c_str(), O_WRONLY);
        if (fd >= 0) {
            [[maybe_unused]] auto written = write(fd, "\n", 1);
            close(fd);
        }
    }
    unlink((gadget_ / "configs/c.1" / function).c_str());
    rmdir((gadget_ / "configs/c.1/strings/0x409").c_str());
    rmdir((gadget_ / "configs/c.1").c_str());
    rmdir((gadget_ / "functions" / function).c_str());
    rmdir((gadget_ / "strings/0x409").c_str());
    rmdir(gadget_.c_str());
    gadget_.clear();
}

void MIDIGadget::bind() {
    writeFile(gadget_ / "UDC", midiGadgetUDC);
    openRawMIDI();
}

void MIDIGadget::unbind() {
    closeRawMIDI();
    writeFile(gadget_ / "UDC", "\n");
}

void MIDIGadget::openRawMIDI() {
    // The function registers its card while it binds; its device nodes may lag a moment.
    const std::string name = std::string("hw:") + cardID + ",0,0";
    int result = 0;
    for (const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);;) {
        result = snd_rawmidi_open(&in_, &out_, name.c_str(), SND_RAWMIDI_NONBLOCK);
        if (result >= 0 || std::chrono::steady_clock::now() >= until) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (result < 0) throw std::runtime_error("snd_rawmidi_open " + name + ": " + snd_strerror(result));
    snd_rawmidi_nonblock(out_, 0);
    // The function drops what the host sends until the input is triggered, which a read does.
    snd_rawmidi_read(in_, nullptr, 0);
}

void MIDIGadget::closeRawMIDI() {
    if (in_ != nullptr) snd_rawmidi_close(in_);
    if (out_ != nullptr) snd_rawmidi_close(out_);
    in_ = nullptr;
    out_ = nullptr;
}

void MIDIGadget::send(std::span<const std::uint8_t> bytes) {
    if (out_ == nullptr) throw std::runtime_error("the MIDI gadget is not bound");
    std::size_t done = 0;
    while (done < bytes.size()) {
        const auto written = snd_rawmidi_write(out_, bytes.data() + done, bytes.size() - done);
        if (written < 0)
            throw std::runtime_error(std::string("snd_rawmidi_write: ") +
                                     snd_strerror(static_cast<int>(written)));
        done += static_cast<std::size_t>(written);
    }
    snd_rawmidi_drain(out_);
}

std::vector<std::uint8_t> MIDIGadget::receive(std::size_t count, std::chrono::milliseconds timeout) {
    std::vector<std::uint8_t> bytes;
    if (in_ == nullptr) return bytes;
    const int descriptors = snd_rawmidi_poll_descriptors_count(in_);
    std::vector<pollfd> fds(static_cast<std::size_t>(descriptors));
    snd_rawmidi_poll_descriptors(in_, fds.data(), static_cast<unsigned>(descriptors));
    std::uint8_t buffer[1024];
    for (const auto until = std::chrono::steady_clock::now() + timeout; bytes.size() < count;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        if (poll(fds.data(), fds.size(), static_cast<int>(left.count())) <= 0) continue;
        const auto length = snd_rawmidi_read(in_, buffer, sizeof buffer);
        if (length > 0) bytes.insert(bytes.end(), buffer, buffer + length);
    }
    return bytes;
}

}  // namespace corvane::vm
