#pragma once
// Byte runs to ALSA sequencer events and back. The bytes stay exactly as they were: nothing is
// merged by running status, a note-on with velocity 0 stays a note-on, and bytes that make no
// complete message (system-exclusive pieces, stray data, undefined status bytes) travel as a
// system-exclusive event, which carries raw bytes.

#include <alsa/asoundlib.h>

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace corvane {

class AlsaEventEncoder {
public:
    // Longer byte runs go out in pieces of this size, as the kernel's own MIDI ports send them:
    // an event must fit the sender's pool and the receiver's, which other programs keep small.
    static constexpr std::size_t largestEvent = 256;

    AlsaEventEncoder();
    ~AlsaEventEncoder();
    AlsaEventEncoder(const AlsaEventEncoder&) = delete;
    AlsaEventEncoder& operator=(const AlsaEventEncoder&) = delete;

    // Calls `emit` with each event in order; an event and the data it points to live only for
    // that call. Source, destination and scheduling are left to the caller.
    void encode(std::span<const std::uint8_t> bytes, const std::function<void(snd_seq_event_t&)>& emit);

private:
    snd_midi_event_t* parser_ = nullptr;
    // Kept between calls: a send does not allocate them anew.
    std::vector<std::uint8_t> raw_;      // bytes to send as they are
    std::vector<std::uint8_t> pending_;  // bytes of the message the parser is building
};

class AlsaEventDecoder {
public:
    AlsaEventDecoder();
    ~AlsaEventDecoder();
    AlsaEventDecoder(const AlsaEventDecoder&) = delete;
    AlsaEventDecoder& operator=(const AlsaEventDecoder&) = delete;

    // The bytes of one received event, each message with its status byte; false (and `out`
    // empty) for events that carry no MIDI.
    bool decode(const snd_seq_event_t& event, std::vector<std::uint8_t>& out);

private:
    snd_midi_event_t* parser_ = nullptr;
};

}  // namespace corvane
