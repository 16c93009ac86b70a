#pragma once
// A second ALSA sequencer client in the test process that plays a Push 3: it owns a port named
// "Ableton Push 3 Live Port" that others can read from, write to and subscribe to, sends given
// bytes to its subscribers, records the bytes it receives, can take its port away and bring it
// back the way an unplugged and re-plugged device does, and can stop reading for a while.

#include <alsa/asoundlib.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace corvane::vm {

inline constexpr const char* push3PortName = "Ableton Push 3 Live Port";

struct SequencerAddress {
    int client = 0;
    int port = 0;
    auto operator<=>(const SequencerAddress&) const = default;
};

// A port as any client of the sequencer sees it.
struct SequencerPortInfo {
    SequencerAddress address;
    std::string clientName;
    std::string name;
    unsigned capability = 0;
    unsigned type = 0;
};

// Every port of every client, in the sequencer's order.
std::vector<SequencerPortInfo> sequencerPorts();
std::optional<SequencerPortInfo> findSequencerPort(const std::string& name);
// Every port of that name whose client has that name.
std::vector<SequencerPortInfo> portsNamed(const std::string& clientName, const std::string& name);

class SequencerPeer {
public:
    // `inputPool`: the events the kernel holds for it until it reads them.
    explicit SequencerPeer(std::string clientName = "Ableton Push 3", std::string portName = push3PortName,
                           std::size_t inputPool = 2000);
    ~SequencerPeer();
    SequencerPeer(const SequencerPeer&) = delete;
    SequencerPeer& operator=(const SequencerPeer&) = delete;

    int client() const { return client_; }
    // The port's address while it is there.
    std::optional<SequencerAddress> address() const;

    // Deletes the port (its subscriptions go with it) and creates it again; ALSA gives the new
    // port the lowest free number, so it comes back at the same address.
    void removePort();
    void addPort();

    // Sends the bytes to every subscriber, encoded into events; system-exclusive runs longer than
    // `chunk` bytes go out as several events, as a USB MIDI device's do. Returns how many events
    // a subscriber refused because its input was full.
    std::size_t send(std::span<const std::uint8_t> bytes, std::size_t chunk = 256);

    // While false it reads nothing: the kernel queues what comes until its input pool is full,
    // refuses the rest, and throws the queue away at the next read.
    void setReading(bool reading);

    // Subscriptions made by this client on its own port's behalf: `from` sends to this port,
    // this port sends to `to`.
    void connectFrom(SequencerAddress from);
    void connectTo(SequencerAddress to);

    // Everything received so far, decoded with running status off.
    std::vector<std::uint8_t> received() const;
    // Waits until at least `count` bytes have arrived; returns what arrived.
    std::vector<std::uint8_t> waitForReceived(
        std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    void clearReceived();

private:
    void receiveLoop();

    snd_seq_t* seq_ = nullptr;
    snd_midi_event_t* decoder_ = nullptr;
    int client_ = -1;
    int port_ = -1;
    std::string portName_;
    int wake_[2] = {-1, -1};
    mutable std::mutex mutex_;
    mutable std::condition_variable arrived_;
    std::condition_variable readingChanged_;
    bool reading_ = true;
    bool stopping_ = false;
    std::vector<std::uint8_t> received_;
    std::thread thread_;
};

}  // namespace corvane::vm
