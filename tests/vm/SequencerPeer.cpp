#include "tests/vm/SequencerPeer.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace corvane::vm {
namespace {

void check(int result, const char* what) {
    if (result < 0) {
        throw std::runtime_error(std::string(what) + ": " + snd_strerror(result));
    }
}

}  // namespace

std::vector<SequencerPortInfo> sequencerPorts() {
    snd_seq_t* seq = nullptr;
    check(snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, 0), "snd_seq_open");
    std::vector<SequencerPortInfo> ports;
    snd_seq_client_info_t* clientInfo = nullptr;
    snd_seq_port_info_t* portInfo = nullptr;
    snd_seq_client_info_alloca(&clientInfo);
    snd_seq_port_info_alloca(&portInfo);
    snd_seq_client_info_set_client(clientInfo, -1);
    while (snd_seq_query_next_client(seq, clientInfo) >= 0) {
        const int client = snd_seq_client_info_get_client(clientInfo);
        snd_seq_port_info_set_client(portInfo, client);
        snd_seq_port_info_set_port(portInfo, -1);
        while (snd_seq_query_next_port(seq, portInfo) >= 0) {
            ports.push_back({{client, snd_seq_port_info_get_port(portInfo)},
                             snd_seq_client_info_get_name(clientInfo),
                             snd_seq_port_info_get_name(portInfo),
                             snd_seq_port_info_get_capability(portInfo),
                             snd_seq_port_info_get_type(portInfo)});
        }
    }
    snd_seq_close(seq);
    return ports;
}

std::optional<SequencerPortInfo> findSequencerPort(const std::string& name) {
    for (auto& port : sequencerPorts()) {
        if (port.name == name) return port;
    }
    return std::nullopt;
}

std::vector<SequencerPortInfo> portsNamed(const std::string& clientName, const std::string& name) {
    auto ports = sequencerPorts();
    std::erase_if(ports,
                  [&](const auto& port) { return port.clientName != clientName || port.name != name; });
    return ports;
}

SequencerPeer::SequencerPeer(std::string clientName, std::string portName, std::size_t inputPool)
    : portName_(std::move(portName)) {
    check(snd_seq_open(&seq_, "default", SND_SEQ_OPEN_DUPLEX, 0), "snd_seq_open");
    snd_seq_set_client_name(seq_, clientName.c_str());
    client_ = snd_seq_client_id(seq_);
    check(snd_seq_nonblock(seq_, 1), "snd_seq_nonblock");
    // Room for long system-exclusive bursts: with the defaults the kernel drops what does not fit.
    check(snd_seq_set_input_buffer_size(seq_, 256 * 1024), "snd_seq_set_input_buffer_size");
    check(snd_seq_set_client_pool_input(seq_, inputPool), "snd_seq_set_client_pool_input");
    check(snd_midi_event_new(65536, &decoder_), "snd_midi_event_new");
    snd_midi_event_no_status(decoder_, 1);
    if (pipe(wake_) != 0) throw std::runtime_error("pipe failed");
    addPort();
    thread_ = std::thread([this] { receiveLoop(); });
}

SequencerPeer::~SequencerPeer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    readingChanged_.notify_all();
    [[maybe_unused]] auto written = write(wake_[1], "x", 1);
    thread_.join();
    close(wake_[0]);
    close(wake_[1]);
    snd_midi_event_free(decoder_);
    snd_seq_close(seq_);
}

std::optional<SequencerAddress> SequencerPeer::address() const {
    std::lock_guard lock(mutex_);
    if (port_ < 0) return std::nullopt;
    return SequencerAddress{client_, port_};
}

void SequencerPeer::removePort() {
    std::lock_guard lock(mutex_);
    if (port_ < 0) return;
    check(snd_seq_delete_simple_port(seq_, port_), "snd_seq_delete_simple_port");
    port_ = -1;
}

void SequencerPeer::addPort() {
    std::lock_guard lock(mutex_);
    if (port_ >= 0) return;
    const int port = snd_seq_create_simple_port(
        seq_, portName_.c_str(),
        SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ | SND_SEQ_PORT_CAP_WRITE |
            SND_SEQ_PORT_CAP_SUBS_WRITE,
        SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_HARDWARE | SND_SEQ_PORT_TYPE_PORT);
    check(port, "snd_seq_create_simple_port");
    port_ = port;
}

std::size_t SequencerPeer::send(std::span<const std::uint8_t> bytes, std::size_t chunk) {
    snd_midi_event_t* encoder = nullptr;
    check(snd_midi_event_new(chunk, &encoder), "snd_midi_event_new");
    std::size_t refused = 0;
    std::lock_guard lock(mutex_);
    const auto* next = bytes.data();
    long left = static_cast<long>(bytes.size());
    while (left > 0) {
        snd_seq_event_t event;
        snd_seq_ev_clear(&event);
        const long used = snd_midi_event_encode(encoder, next, left, &event);
        if (used <= 0) break;
        next += used;
        left -= used;
        if (event.type == SND_SEQ_EVENT_NONE) continue;
        snd_seq_ev_set_source(&event, static_cast<unsigned char>(port_));
        snd_seq_ev_set_subs(&event);
        snd_seq_ev_set_direct(&event);
        const int result = snd_seq_event_output_direct(seq_, &event);
        if (result == -EAGAIN || result == -ENOMEM) {
            ++refused;
        } else if (result < 0) {
            snd_midi_event_free(encoder);
            check(result, "snd_seq_event_output_direct");
        }
    }
    snd_midi_event_free(encoder);
    return refused;
}

void SequencerPeer::setReading(bool reading) {
    {
        std::lock_guard lock(mutex_);
        reading_ = reading;
    }
    readingChanged_.notify_all();
}

void SequencerPeer::connectFrom(SequencerAddress from) {
    std::lock_guard lock(mutex_);
    check(snd_seq_connect_from(seq_, port_, from.client, from.port), "snd_seq_connect_from");
}

void SequencerPeer::connectTo(SequencerAddress to) {
    std::lock_guard lock(mutex_);
    check(snd_seq_connect_to(seq_, port_, to.client, to.port), "snd_seq_connect_to");
}

std::vector<std::uint8_t> SequencerPeer::received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<std::uint8_t> SequencerPeer::waitForReceived(std::size_t count,
                                                         std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, timeout, [&] { return received_.size() >= count; });
    return received_;
}

void SequencerPeer::clearReceived() {
    std::lock_guard lock(mutex_);
    received_.clear();
}

void SequencerPeer::receiveLoop() {
    const int count = snd_seq_poll_descriptors_count(seq_, POLLIN);
    std::vector<pollfd> fds(static_cast<std::size_t>(count) + 1);
    snd_seq_poll_descriptors(seq_, fds.data(), static_cast<unsigned>(count), POLLIN);
    fds.back() = {wake_[0], POLLIN, 0};
    std::vector<unsigned char> bytes(65536);
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            readingChanged_.wait(lock, [&] { return reading_ || stopping_; });
            if (stopping_) return;
        }
        if (poll(fds.data(), fds.size(), -1) < 0) continue;
        if (fds.back().revents != 0) return;
        std::lock_guard lock(mutex_);
        if (!reading_) continue;  // stopped while it waited
        // The handle does not block, so the lock is never held while waiting for events.
        for (;;) {
            snd_seq_event_t* event = nullptr;
            if (snd_seq_event_input(seq_, &event) < 0 || event == nullptr) break;
            const long length =
                snd_midi_event_decode(decoder_, bytes.data(), static_cast<long>(bytes.size()), event);
            if (length > 0) received_.insert(received_.end(), bytes.begin(), bytes.begin() + length);
        }
        arrived_.notify_all();
    }
}

}  // namespace corvane::vm
