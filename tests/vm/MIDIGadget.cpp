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
        gadget_ = gadgetFolder("corvane-midi");
        // Not the display's product, which other tests look for.
        buildGadget(gadget_, 0x2982, 0x1970, "CORVANE-VM-0002", "Push 3 MIDI", function);
        const fs::path midi = gadget_ / "functions" / function;
        writeFile(midi / "in_ports", "2");
        writeFile(midi / "out_ports", "2");
        writeFile(midi / "id", cardID);
        linkFunction(gadget_, function);
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
    releaseController(gadget_);
    removeGadget(gadget_, function);
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
