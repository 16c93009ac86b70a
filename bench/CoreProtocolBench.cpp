// The MIDI parser beside ALSA's own byte-stream encoder on the same traffic, and the costs of
// the bridge protocol: frame encode and decode, and applying a message to the host state.

#include <alsa/asoundlib.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <initializer_list>
#include <memory>
#include <string>
#include <random>
#include <vector>

#include "core/BridgeCodec.h"
#include "core/MIDIStreamParser.h"
#include "core/RemoteState.h"
#include "core/StateKeys.h"

namespace corvane {
namespace {

// About 4 MB of what a played Push and a busy host send, gesture by gesture: pads held with
// streams of poly pressure, encoder turns, touch-strip bends, button presses, batches of bridge
// frames and device replies. Some senders use running status (the status byte only when it
// changes). A clock byte comes every 97 bytes wherever it falls, inside messages too.
const Bytes& mixedStream() {
    static const Bytes stream = [] {
        Bytes out;
        out.reserve((4u << 20) + 1024);
        std::mt19937 random(2024);
        const auto roll = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
        const auto data = [&] { return static_cast<std::uint8_t>(roll(128)); };
        std::size_t sinceClock = 0;
        const auto put = [&](std::initializer_list<std::uint8_t> bytes) {
            for (const std::uint8_t b : bytes) {
                out.push_back(b);
                if (++sinceClock == 97) {
                    out.push_back(0xF8);
                    sinceClock = 0;
                }
            }
        };
        // A run of messages of one status, with or without running status.
        const auto run = [&](std::uint8_t status, int count, auto dataBytes) {
            const bool running = roll(2) == 0;
            for (int i = 0; i < count; ++i) {
                if (!running || i == 0) put({status});
                dataBytes();
            }
        };
        while (out.size() < (4u << 20)) {
            const int gesture = roll(100);
            if (gesture < 40) {
                const std::uint8_t pad = static_cast<std::uint8_t>(36 + roll(64));
                put({0x90, pad, data()});
                run(0xA0, 4 + roll(36), [&] { put({pad, data()}); });
                put({0x80, pad, 0x40});
            } else if (gesture < 70) {
                const auto encoder = static_cast<std::uint8_t>(71 + roll(9));
                const std::uint8_t step = roll(2) ? 1 : 127;
                run(0xB0, 3 + roll(22), [&] { put({encoder, step}); });
            } else if (gesture < 75) {
                run(0xE0, 5 + roll(26), [&] { put({data(), data()}); });
            } else if (gesture < 85) {
                const auto button = static_cast<std::uint8_t>(roll(128));
                put({0xB0, button, 127, 0xB0, button, 0});
            } else if (gesture < 95) {
                for (int i = 1 + roll(10); i > 0; --i) {
                    const auto key = StateKeys::bankChannel(roll(8), static_cast<std::uint8_t>(roll(18)));
                    const Bytes frame = BridgeCodec::encode(
                        roll(2) ? HostMessage::setString(key, "Audio " + std::to_string(roll(100)))
                                : HostMessage::setNumber(key, roll(16384)));
                    for (const std::uint8_t b : frame) put({b});
                }
            } else {
                put({0xF0});
                for (int i = 16 + roll(400); i > 0; --i) put({data()});
                put({0xF7});
            }
        }
        return out;
    }();
    return stream;
}

// One pass of each reader over the stream; each counts the messages it completes.
std::size_t parserPass(MIDIStreamParser& parser, const Bytes& stream) {
    std::size_t messages = 0;
    parser.feed(stream, [&](const MIDIMessage& m) {
        benchmark::DoNotOptimize(&m);
        ++messages;
    });
    return messages;
}

// ALSA's encoder takes one byte per call, as its API has it.
std::size_t alsaPass(snd_midi_event_t* encoder, const Bytes& stream) {
    snd_seq_event_t event{};
    std::size_t messages = 0;
    for (const std::uint8_t b : stream) {
        if (snd_midi_event_encode_byte(encoder, b, &event) == 1) {
            benchmark::DoNotOptimize(&event);
            ++messages;
        }
    }
    return messages;
}

using ALSAEncoder = std::unique_ptr<snd_midi_event_t, decltype(&snd_midi_event_free)>;

ALSAEncoder makeEncoder() {
    snd_midi_event_t* raw = nullptr;
    if (snd_midi_event_new(256, &raw) < 0) return {nullptr, snd_midi_event_free};
    return {raw, snd_midi_event_free};
}

void BM_ParserMixedStream(benchmark::State& state) {
    const Bytes& stream = mixedStream();
    MIDIStreamParser parser;
    for (auto _ : state) benchmark::DoNotOptimize(parserPass(parser, stream));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_ParserMixedStream)->Unit(benchmark::kMillisecond);

void BM_ALSAEncoderMixedStream(benchmark::State& state) {
    const Bytes& stream = mixedStream();
    const ALSAEncoder encoder = makeEncoder();
    if (!encoder) return state.SkipWithError("snd_midi_event_new failed");
    for (auto _ : state) benchmark::DoNotOptimize(alsaPass(encoder.get(), stream));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stream.size()));
}
BENCHMARK(BM_ALSAEncoderMixedStream)->Unit(benchmark::kMillisecond);

// Both readers in turn within each iteration, so that a busy machine slows both alike; the
// counter "ratio" is the parser's throughput over ALSA's.
void BM_ParserOverALSA(benchmark::State& state) {
    const Bytes& stream = mixedStream();
    MIDIStreamParser parser;
    const ALSAEncoder encoder = makeEncoder();
    if (!encoder) return state.SkipWithError("snd_midi_event_new failed");
    using Clock = std::chrono::steady_clock;
    Clock::duration ours{}, theirs{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        benchmark::DoNotOptimize(parserPass(parser, stream));
        const auto t1 = Clock::now();
        benchmark::DoNotOptimize(alsaPass(encoder.get(), stream));
        const auto t2 = Clock::now();
        ours += t1 - t0;
        theirs += t2 - t1;
    }
    const double seconds = std::chrono::duration<double>(ours).count();
    const double alsaSeconds = std::chrono::duration<double>(theirs).count();
    const double megabytes = static_cast<double>(state.iterations()) * static_cast<double>(stream.size()) / 1e6;
    state.counters["parser_MBps"] = megabytes / seconds;
    state.counters["alsa_MBps"] = megabytes / alsaSeconds;
    state.counters["ratio"] = alsaSeconds / seconds;
}
BENCHMARK(BM_ParserOverALSA)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// What the script sends most: values, names and colours of the bank's channels.
std::vector<HostMessage> typicalHostMessages() {
    std::vector<HostMessage> messages;
    for (int channel = 0; channel < 8; ++channel) {
        messages.push_back(HostMessage::setNumber(StateKeys::bankChannel(channel, StateKeys::ChannelField::meter),
                                                  1000 * channel + 383));
        messages.push_back(
            HostMessage::setString(StateKeys::bankChannel(channel, StateKeys::ChannelField::name), "Audio 0" + std::to_string(channel)));
        messages.push_back(HostMessage::setColor(StateKeys::bankChannel(channel, StateKeys::ChannelField::color),
                                                 RGB{229, 57, static_cast<std::uint8_t>(channel * 30)}));
    }
    messages.push_back(HostMessage::heartbeat());
    return messages;
}

void BM_BridgeEncodeFrame(benchmark::State& state) {
    const auto messages = typicalHostMessages();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(BridgeCodec::encode(messages[i]));
        if (++i == messages.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BridgeEncodeFrame);

void BM_BridgeDecodeFrame(benchmark::State& state) {
    std::vector<Bytes> frames;
    for (const auto& m : typicalHostMessages()) frames.push_back(BridgeCodec::encode(m));
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(BridgeCodec::decodeHostMessage(frames[i]));
        if (++i == frames.size()) i = 0;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BridgeDecodeFrame);

// A store filled as after a resync; each message changes a value (meters move).
void BM_RemoteStateApplyChanging(benchmark::State& state) {
    RemoteState store;
    for (const auto& m : typicalHostMessages()) store.apply(m);
    std::vector<HostMessage> meters;
    for (int channel = 0; channel < 8; ++channel) {
        for (int level = 0; level < 4; ++level) {
            meters.push_back(HostMessage::setNumber(StateKeys::bankChannel(channel, StateKeys::ChannelField::meter),
                                                    level * 4000 + channel));
        }
    }
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(store.apply(meters[i]));
        if (++i == meters.size()) i = 0;
    }
}
BENCHMARK(BM_RemoteStateApplyChanging);

// A resync repeating what the store already holds: nothing changes.
void BM_RemoteStateApplyUnchanged(benchmark::State& state) {
    RemoteState store;
    const auto messages = typicalHostMessages();
    for (const auto& m : messages) store.apply(m);
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(store.apply(messages[i]));
        if (++i == messages.size()) i = 0;
    }
}
BENCHMARK(BM_RemoteStateApplyUnchanged);

}  // namespace
}  // namespace corvane
