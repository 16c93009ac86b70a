#pragma once
// A USB gadget that the guest's own USB host sees as the Push 3's MIDI side, as a kernel shows a
// device without jack names: configfs's MIDI function with two ports each way and the product
// "Ableton Push 3", on the second dummy controller (the display gadget has the first). The host's
// USB audio driver makes of it the sequencer client "Ableton Push 3" with the ports "Ableton Push
// 3 MIDI 1" and "Ableton Push 3 MIDI 2". The function's own ALSA card on the gadget side plays
// the device: what the gadget writes to its first raw MIDI port reaches the host's "MIDI 1", and
// what the host sends there the gadget reads.

#include <alsa/asoundlib.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace corvane::vm {

inline constexpr const char* midiGadgetUDC = "dummy_udc.1";

class MIDIGadget {
public:
    // Builds the gadget and binds it; throws std::runtime_error when the kernel refuses.
    MIDIGadget();
    ~MIDIGadget();
    MIDIGadget(const MIDIGadget&) = delete;
    MIDIGadget& operator=(const MIDIGadget&) = delete;

    // Binding opens the gadget's raw MIDI port; unbinding closes it first (the function's card
    // goes with the binding). The host sees the device leave and arrive, as at a re-plug.
    void bind();
    void unbind();

    // Bytes from the device to the host's "MIDI 1", at once.
    void send(std::span<const std::uint8_t> bytes);
    // Waits until `count` bytes from the host have arrived on the first port, then returns all that
    // arrived (fewer when they did not come in time).
    std::vector<std::uint8_t> receive(std::size_t count,
                                      std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    void openRawMIDI();
    void closeRawMIDI();
    void teardown();

    std::filesystem::path gadget_;
    snd_rawmidi_t* in_ = nullptr;
    snd_rawmidi_t* out_ = nullptr;
};

}  // namespace corvane::vm
