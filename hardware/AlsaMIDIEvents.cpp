#include "hardware/AlsaMIDIEvents.h"

#include <algorithm>
#include <new>

namespace corvane {

namespace {

snd_midi_event_t* newParser(std::size_t bufferSize) {
    snd_midi_event_t* parser = nullptr;
    if (snd_midi_event_new(bufferSize, &parser) < 0) throw std::bad_alloc();
    return parser;
}

constexpr std::uint8_t sysexStart = 0xF0;
constexpr std::uint8_t sysexEnd = 0xF7;
constexpr std::uint8_t firstRealTime = 0xF8;

bool isStatus(std::uint8_t b) { return b >= 0x80; }

}  // namespace

AlsaEventEncoder::AlsaEventEncoder() : parser_(newParser(16)) {}

AlsaEventEncoder::~AlsaEventEncoder() { snd_midi_event_free(parser_); }

void AlsaEventEncoder::encode(std::span<const std::uint8_t> bytes,
                              const std::function<void(snd_seq_event_t&)>& emit) {
    pending_.clear();
    std::uint8_t running = 0;  // channel status that following data bytes continue

    auto emitRaw = [&](std::span<const std::uint8_t> run) {
        for (std::size_t start = 0; start < run.size(); start += AlsaEventEncoder::largestEvent) {
            auto piece = run.subspan(start, std::min(AlsaEventEncoder::largestEvent, run.size() - start));
            raw_.assign(piece.begin(), piece.end());
            snd_seq_event_t event;
            snd_seq_ev_clear(&event);
            snd_seq_ev_set_sysex(&event, raw_.size(), raw_.data());
            emit(event);
        }
    };
    auto flushPending = [&] {
        emitRaw(pending_);
        pending_.clear();
        snd_midi_event_reset_encode(parser_);
    };

    snd_midi_event_reset_encode(parser_);
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::uint8_t b = bytes[i];
        if (b == sysexStart || b == sysexEnd || (!isStatus(b) && running == 0 && pending_.empty())) {
            // A system-exclusive message or piece, or data with no status before it.
            flushPending();
            std::size_t end = i + 1;
            while (end < bytes.size() && !isStatus(bytes[end])) ++end;
            if (b != sysexEnd && end < bytes.size() && bytes[end] == sysexEnd) ++end;
            emitRaw(bytes.subspan(i, end - i));
            running = 0;
            i = end;
            continue;
        }
        bool realTime = b >= firstRealTime;
        if (!realTime) {
            if (isStatus(b)) {
                flushPending();
                running = b < sysexStart ? b : 0;
            }
            pending_.push_back(b);
        }
        snd_seq_event_t event;
        snd_seq_ev_clear(&event);
        if (snd_midi_event_encode_byte(parser_, b, &event) == 1) {
            if (event.type == SND_SEQ_EVENT_NONE) {
                // A status byte that MIDI leaves undefined.
                if (realTime) {
                    emitRaw(bytes.subspan(i, 1));
                } else {
                    flushPending();
                }
            } else {
                if (!realTime) pending_.clear();
                emit(event);
            }
        }
        ++i;
    }
    flushPending();
}

AlsaEventDecoder::AlsaEventDecoder() : parser_(newParser(16)) { snd_midi_event_no_status(parser_, 1); }

AlsaEventDecoder::~AlsaEventDecoder() { snd_midi_event_free(parser_); }

bool AlsaEventDecoder::decode(const snd_seq_event_t& event, std::vector<std::uint8_t>& out) {
    // Fixed events decode to at most four controller messages of three bytes.
    std::size_t room = event.type == SND_SEQ_EVENT_SYSEX ? event.data.ext.len : 12;
    out.resize(room);
    long count = snd_midi_event_decode(parser_, out.data(), static_cast<long>(out.size()), &event);
    if (count <= 0) {
        out.clear();
        return false;
    }
    out.resize(static_cast<std::size_t>(count));
    return true;
}

}  // namespace corvane
