#include "tests/vm/RealKernel.h"

#include <alsa/asoundlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace corvane::vm {

bool insideTestGuest() {
    const char* value = std::getenv("CORVANE_VM");
    return value != nullptr && *value != '\0';
}

std::string sequencerMissing() {
    snd_seq_t* seq = nullptr;
    const int result = snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK);
    if (result < 0) return std::string("no ALSA sequencer: ") + snd_strerror(result);
    snd_seq_close(seq);
    return {};
}

std::string gadgetMissing() {
    if (geteuid() != 0) return "building a USB gadget needs root";
    if (!std::filesystem::exists("/sys/class/udc/dummy_udc.0")) return "no dummy USB device controller";
    if (!std::filesystem::is_directory("/sys/kernel/config/usb_gadget")) return "no configfs USB gadgets";
    return {};
}

std::string midiGadgetMissing() {
    if (std::string missing = gadgetMissing(); !missing.empty()) return missing;
    if (!std::filesystem::exists("/sys/class/udc/dummy_udc.1"))
        return "no second dummy USB device controller";
    for (const char* module : {"usb_f_midi", "snd_usb_audio", "snd_seq_midi"}) {
        if (!std::filesystem::exists(std::filesystem::path("/sys/module") / module))
            return std::string("the module ") + module + " is not loaded";
    }
    return {};
}

}  // namespace corvane::vm
