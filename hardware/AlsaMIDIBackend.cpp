#include "hardware/AlsaMIDIBackend.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

#include "core/Log.h"
#include "hardware/AlsaMIDIEvents.h"
#include "hardware/AlsaPortIdentities.h"
#include "hardware/MIDIError.h"
#include "platform/MainQueue.h"
#include "platform/MainQueueSignal.h"
#include "platform/PICondition.h"
#include "platform/PIMutex.h"

namespace corvane {

namespace {

constexpr const char* sequencerDevice = "/dev/snd/seq";

// Room for a whole system-exclusive event of another application; an event larger than the
// input buffer could never be read.
constexpr std::size_t inputBufferBytes = 256 * 1024;
constexpr std::size_t inputPoolEvents = 2000;

struct SeqCloser {
    void operator()(snd_seq_t* seq) const { snd_seq_close(seq); }
};
using SeqHandle = std::unique_ptr<snd_seq_t, SeqCloser>;

struct ClientInfoDeleter {
    void operator()(snd_seq_client_info_t* info) const { snd_seq_client_info_free(info); }
};
struct PortInfoDeleter {
    void operator()(snd_seq_port_info_t* info) const { snd_seq_port_info_free(info); }
};

class EventFD {
public:
    EventFD() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
        if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
    }
    ~EventFD() { close(fd_); }
    EventFD(const EventFD&) = delete;
    EventFD& operator=(const EventFD&) = delete;

    int fd() const { return fd_; }
    void signal() const {
        std::uint64_t one = 1;
        [[maybe_unused]] auto written = write(fd_, &one, sizeof one);
    }
    void clear() const {
        std::uint64_t count;
        [[maybe_unused]] auto read = ::read(fd_, &count, sizeof count);
    }

private:
    int fd_;
};

std::string alsaDetail(int error) {
    if (!AlsaMIDIBackend::sequencerPresent()) {
        return std::string("no ALSA sequencer on this machine (") + sequencerDevice + " is missing)";
    }
    return std::string("ALSA error ") + std::to_string(error) + " (" + snd_strerror(error) + ")";
}

[[noreturn]] void fail(int error, const char* operation) {
    throw MIDIError(error, operation, alsaDetail(error));
}

int clientOf(MIDIRef ref) { return static_cast<int>(ref >> 8); }
int portOf(MIDIRef ref) { return static_cast<int>(ref & 0xFF); }

// alsa-lib reports some failures itself; they go to the log, not to standard error.
void logAlsaLibError(const char* file, int line, const char* function, int error, const char* format, ...) {
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    Log::shared().debug([&] {
        return std::string("ALSA lib ") + file + ":" + std::to_string(line) + " (" + function + ") " + text +
               (error != 0 ? std::string(": ") + snd_strerror(error) : std::string());
    });
}

struct Receiver {
    explicit Receiver(MIDIReceiveCallback callback) : callback(std::move(callback)) {}
    MIDIReceiveCallback callback;
    AlsaEventDecoder decoder;  // receive thread only
};

struct Client {
    int id = 0;
    SeqHandle seq;
    int announcePort = -1;
    std::function<void()> onSetupChanged;
    std::function<void()> onInputLost;  // receive thread only
    std::atomic<bool> disposed{false};
    std::atomic<bool> notificationPending{false};
    std::map<int, std::shared_ptr<Receiver>> receivers;  // by port number, under State::lock
};

bool isSetupEvent(snd_seq_event_type_t type) {
    return type >= SND_SEQ_EVENT_CLIENT_START && type <= SND_SEQ_EVENT_PORT_CHANGE;
}

// Sends a receiver's full input refused, counted on the sending thread and told to the log on
// the main queue: the sender may be a real-time thread, which must not allocate, and the log's
// lines are strings.
struct Refusals {
    std::atomic<std::uint64_t> count{0};
    std::atomic<int> error{0};

    void report() {
        const int last = error.load();
        for (std::uint64_t n = count.exchange(0); n > 0; --n) {
            Log::shared().summarisedWarning("MIDI send dropped", [&] {
                return std::string("MIDI send dropped: the receiving program is not keeping up (") +
                       snd_strerror(last) + ")";
            });
        }
    }
};

}  // namespace

struct AlsaMIDIBackend::State {
    // The locks a send takes inherit priority: the note-repeat thread may be a real-time one
    // that sends while normal threads hold them.
    PIMutex lock;  // guards everything up to the thread
    std::map<int, std::shared_ptr<Client>> clients;
    AlsaPortIdentities identities;
    int announcer = -1;  // the client whose announcements keep `identities`
    std::uint64_t generation = 0;
    std::uint64_t seenGeneration = 0;
    PICondition generationSeen;
    bool stopping = false;
    EventFD wake;
    std::thread thread;

    std::mutex deliveryLock;  // held by the receive thread while it handles events
    PIMutex sendLock;         // serialises every send and guards the encoder
    AlsaEventEncoder encoder;
    const std::shared_ptr<Refusals> refusals = std::make_shared<Refusals>();
    MainQueueSignal refusalsToReport{[refusals = refusals] { refusals->report(); }};
    std::vector<std::uint8_t> received;  // the receive thread's decoding buffer, kept between events

    bool onReceiveThread() const {
        return thread.joinable() && std::this_thread::get_id() == thread.get_id();
    }

    std::shared_ptr<Client> client(int id) {
        std::lock_guard guard(lock);
        auto found = clients.find(id);
        return found == clients.end() ? nullptr : found->second;
    }

    // Blocks until the receive thread has let go of every client removed so far and finished the
    // events it was handling. Never waits for itself.
    void waitForReceiveThread() {
        if (onReceiveThread()) return;
        {
            std::unique_lock guard(lock);
            if (!thread.joinable()) return;
            std::uint64_t target = ++generation;
            wake.signal();
            generationSeen.wait(guard, [&] { return seenGeneration >= target || stopping; });
        }
        std::lock_guard delivered(deliveryLock);
    }

    void postSetupChanged() {
        for (auto& [id, client] : clients) postSetupChanged(client);
    }

    static void postSetupChanged(const std::shared_ptr<Client>& client) {
        if (client->notificationPending.exchange(true)) return;
        std::weak_ptr<Client> weak = client;
        MainQueue::async([weak] {
            auto alive = weak.lock();
            if (!alive) return;
            alive->notificationPending = false;
            if (!alive->disposed) alive->onSetupChanged();
        });
    }

    void startThread() {
        thread = std::thread([this] { receiveLoop(); });
    }

    void receiveLoop();
    void drain(const std::shared_ptr<Client>& owner);
    void handle(Client& client, const snd_seq_event_t& event, std::vector<std::uint8_t>& bytes,
                bool& changed);
    std::vector<MIDIBackend::Endpoint> endpoints(bool sources);
    MIDIRef createPort(MIDIRef clientRef, const std::string& name, unsigned capabilities, unsigned type,
                       const char* operation, MIDIReceiveCallback onReceive);
    void deletePort(MIDIRef port);
    MIDISendResult sendEvents(MIDIRef from, std::optional<MIDIRef> to, std::span<const std::uint8_t> bytes);
};

AlsaMIDIBackend::AlsaMIDIBackend() : state_(std::make_unique<State>()) {
    static std::once_flag errorHandler;
    std::call_once(errorHandler, [] { snd_lib_error_set_handler(logAlsaLibError); });
}

AlsaMIDIBackend::~AlsaMIDIBackend() {
    {
        std::lock_guard guard(state_->lock);
        state_->stopping = true;
    }
    state_->wake.signal();
    state_->generationSeen.notify_all();
    if (state_->thread.joinable()) {
        if (state_->onReceiveThread()) {
            state_->thread.detach();
        } else {
            state_->thread.join();
        }
    }
}

bool AlsaMIDIBackend::sequencerPresent() { return access(sequencerDevice, F_OK) == 0; }

// ---- receiving

void AlsaMIDIBackend::State::receiveLoop() {
    pthread_setname_np(pthread_self(), "corvane-midi-in");
    std::vector<std::shared_ptr<Client>> polled;
    std::vector<pollfd> descriptors;
    std::vector<std::size_t> firstDescriptor;
    bool pollFailing = false;
    for (;;) {
        {
            std::lock_guard guard(lock);
            if (stopping) return;
            polled.clear();
            for (auto& [id, client] : clients) polled.push_back(client);
            seenGeneration = generation;
        }
        generationSeen.notify_all();

        descriptors.assign(1, pollfd{wake.fd(), POLLIN, 0});
        firstDescriptor.clear();
        for (auto& client : polled) {
            firstDescriptor.push_back(descriptors.size());
            int count = snd_seq_poll_descriptors_count(client->seq.get(), POLLIN);
            descriptors.resize(descriptors.size() + static_cast<std::size_t>(std::max(count, 0)));
            snd_seq_poll_descriptors(client->seq.get(), descriptors.data() + firstDescriptor.back(),
                                     static_cast<unsigned>(std::max(count, 0)), POLLIN);
        }
        firstDescriptor.push_back(descriptors.size());

        if (poll(descriptors.data(), descriptors.size(), -1) < 0) {
            if (errno == EINTR) continue;
            // Ending the thread here would leave every later release waiting for it, and nothing
            // received again: say it once, then keep trying.
            int error = errno;
            if (!pollFailing) {
                Log::shared().error(
                    [&] { return std::string("MIDI receive: poll failed: ") + std::strerror(error); });
            }
            pollFailing = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        pollFailing = false;
        if (descriptors[0].revents != 0) wake.clear();
        for (std::size_t i = 0; i < polled.size(); ++i) {
            bool ready = false;
            for (std::size_t d = firstDescriptor[i]; d < firstDescriptor[i + 1]; ++d) {
                ready = ready || (descriptors[d].revents & (POLLIN | POLLERR)) != 0;
            }
            if (ready && !polled[i]->disposed) drain(polled[i]);
        }
    }
}

void AlsaMIDIBackend::State::drain(const std::shared_ptr<Client>& owner) {
    std::lock_guard delivering(deliveryLock);
    Client& client = *owner;
    bool changed = false;
    bool lost = false;
    snd_seq_t* seq = client.seq.get();
    // Poll said there is input, so this first read does not block; the rest come from the buffer.
    snd_seq_event_t* event = nullptr;
    int result = snd_seq_event_input(seq, &event);
    for (;;) {
        if (result == -ENOSPC) {
            // The kernel has cleared everything queued for this client; what comes next is new.
            Log::shared().summarisedWarning(
                "MIDI input overrun", [] { return std::string("MIDI input overrun: received events were lost"); });
            if (client.onInputLost && !client.disposed) client.onInputLost();
            lost = true;
            break;
        }
        if (result < 0) {
            if (result != -EAGAIN) {
                Log::shared().summarisedWarning(
                    "MIDI receive failed", [&] { return std::string("MIDI receive failed: ") + snd_strerror(result); });
            }
            break;
        }
        if (event != nullptr) handle(client, *event, received, changed);
        if (client.disposed || snd_seq_event_input_pending(seq, 0) <= 0) break;
        result = snd_seq_event_input(seq, &event);
    }
    if (changed) {
        std::lock_guard guard(lock);
        postSetupChanged();
    }
    // Announcements queued for this client went with the rest: a port may have come and gone
    // unheard, so it looks again; the announcer's spoke for every client.
    if (lost) {
        std::lock_guard guard(lock);
        if (announcer == client.id) {
            postSetupChanged();
        } else {
            postSetupChanged(owner);
        }
    }
}

void AlsaMIDIBackend::State::handle(Client& client, const snd_seq_event_t& event,
                                    std::vector<std::uint8_t>& bytes, bool& changed) {
    if (event.dest.port == client.announcePort) {
        if (event.source.client != SND_SEQ_CLIENT_SYSTEM || !isSetupEvent(event.type)) return;
        std::lock_guard guard(lock);
        if (announcer != client.id) return;  // another client of ours keeps the identities
        auto port = AlsaPortIdentities::address(event.data.addr.client, event.data.addr.port);
        if (event.type == SND_SEQ_EVENT_PORT_START) identities.portStarted(port);
        if (event.type == SND_SEQ_EVENT_PORT_EXIT) identities.portExited(port);
        if (event.type == SND_SEQ_EVENT_CLIENT_EXIT) identities.clientExited(event.data.addr.client);
        changed = true;
        return;
    }
    std::shared_ptr<Receiver> receiver;
    {
        std::lock_guard guard(lock);
        auto found = client.receivers.find(event.dest.port);
        if (found == client.receivers.end()) return;
        receiver = found->second;
    }
    if (receiver->decoder.decode(event, bytes)) receiver->callback(bytes);
}

// ---- clients

MIDIRef AlsaMIDIBackend::createClient(const std::string& name, std::function<void()> onSetupChanged,
                                      std::function<void()> onInputLost) {
    snd_seq_t* opened = nullptr;
    if (int error = snd_seq_open(&opened, "default", SND_SEQ_OPEN_DUPLEX, 0); error < 0)
        fail(error, "MIDIClientCreate");
    auto client = std::make_shared<Client>();
    client->seq.reset(opened);
    client->onSetupChanged = std::move(onSetupChanged);
    client->onInputLost = std::move(onInputLost);
    snd_seq_t* seq = opened;
    if (int error = snd_seq_set_client_name(seq, name.c_str()); error < 0) fail(error, "MIDIClientCreate");
    snd_seq_set_input_buffer_size(seq, inputBufferBytes);
    // The kernel drops what arrives while the input pool is full; bursts (a state dump from the
    // script, a page of LED updates) need the largest pool there is.
    snd_seq_set_client_pool_input(seq, inputPoolEvents);
    client->id = snd_seq_client_id(seq);
    client->announcePort =
        snd_seq_create_simple_port(seq, "set-up changes", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
                                   SND_SEQ_PORT_TYPE_APPLICATION);
    if (client->announcePort < 0) fail(client->announcePort, "MIDIClientCreate");
    if (int error = snd_seq_connect_from(seq, client->announcePort, SND_SEQ_CLIENT_SYSTEM,
                                         SND_SEQ_PORT_SYSTEM_ANNOUNCE);
        error < 0) {
        fail(error, "MIDIClientCreate");
    }

    std::lock_guard guard(state_->lock);
    state_->clients[client->id] = client;
    if (state_->announcer < 0) state_->announcer = client->id;
    ++state_->generation;
    if (!state_->thread.joinable()) state_->startThread();
    state_->wake.signal();
    return static_cast<MIDIRef>(client->id);
}

void AlsaMIDIBackend::disposeClient(MIDIRef ref) {
    std::shared_ptr<Client> client;
    {
        std::lock_guard guard(state_->lock);
        auto found = state_->clients.find(static_cast<int>(ref));
        if (found == state_->clients.end()) return;
        client = found->second;
        client->disposed = true;
        state_->clients.erase(found);
        if (state_->announcer == client->id) {
            // Another client takes over; whatever it missed meanwhile, everyone looks again.
            state_->announcer = state_->clients.empty() ? -1 : state_->clients.begin()->first;
            state_->postSetupChanged();
        }
    }
    state_->waitForReceiveThread();
    // The handle closes with the last reference, here or on the receive thread.
}

// ---- listings

std::vector<MIDIBackend::Endpoint> AlsaMIDIBackend::State::endpoints(bool sources) {
    std::shared_ptr<Client> lister;
    {
        std::lock_guard guard(lock);
        if (auto found = clients.find(announcer); found != clients.end()) lister = found->second;
    }
    SeqHandle transient;
    snd_seq_t* seq = lister ? lister->seq.get() : nullptr;
    if (seq == nullptr) {
        snd_seq_t* opened = nullptr;
        // Opening is what making a client starts with, and fails the same way.
        if (int error = snd_seq_open(&opened, "default", SND_SEQ_OPEN_DUPLEX, 0); error < 0)
            fail(error, "MIDIClientCreate");
        transient.reset(opened);
        seq = opened;
    }

    const unsigned wanted = sources ? SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ
                                    : SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
    snd_seq_client_info_t* rawClient = nullptr;
    snd_seq_port_info_t* rawPort = nullptr;
    if (snd_seq_client_info_malloc(&rawClient) < 0 || snd_seq_port_info_malloc(&rawPort) < 0) {
        if (rawClient != nullptr) snd_seq_client_info_free(rawClient);
        throw std::bad_alloc();
    }
    std::unique_ptr<snd_seq_client_info_t, ClientInfoDeleter> clientInfo(rawClient);
    std::unique_ptr<snd_seq_port_info_t, PortInfoDeleter> portInfo(rawPort);

    std::vector<MIDIBackend::Endpoint> result;
    snd_seq_client_info_set_client(clientInfo.get(), -1);
    while (snd_seq_query_next_client(seq, clientInfo.get()) >= 0) {
        int clientID = snd_seq_client_info_get_client(clientInfo.get());
        if (clientID == SND_SEQ_CLIENT_SYSTEM) continue;
        snd_seq_port_info_set_client(portInfo.get(), clientID);
        snd_seq_port_info_set_port(portInfo.get(), -1);
        while (snd_seq_query_next_port(seq, portInfo.get()) >= 0) {
            unsigned capabilities = snd_seq_port_info_get_capability(portInfo.get());
            if ((capabilities & SND_SEQ_PORT_CAP_NO_EXPORT) != 0 || (capabilities & wanted) != wanted)
                continue;
            MIDIBackend::Endpoint endpoint;
            endpoint.ref = AlsaPortIdentities::address(clientID, snd_seq_port_info_get_port(portInfo.get()));
            if (const char* name = snd_seq_port_info_get_name(portInfo.get());
                name != nullptr && *name != '\0') {
                endpoint.name = name;
            }
            {
                std::lock_guard guard(lock);
                endpoint.uniqueID = identities.uniqueID(endpoint.ref);
            }
            result.push_back(std::move(endpoint));
        }
    }
    return result;
}

std::vector<MIDIBackend::Endpoint> AlsaMIDIBackend::sources() { return state_->endpoints(true); }

std::vector<MIDIBackend::Endpoint> AlsaMIDIBackend::destinations() { return state_->endpoints(false); }

// ---- ports

MIDIRef AlsaMIDIBackend::State::createPort(MIDIRef clientRef, const std::string& name, unsigned capabilities,
                                           unsigned type, const char* operation,
                                           MIDIReceiveCallback onReceive) {
    auto owner = client(static_cast<int>(clientRef));
    if (!owner) fail(-EINVAL, operation);
    int port = snd_seq_create_simple_port(owner->seq.get(), name.c_str(), capabilities, type);
    if (port < 0) fail(port, operation);
    if (onReceive) {
        auto receiver = std::make_shared<Receiver>(std::move(onReceive));
        std::lock_guard guard(lock);
        owner->receivers[port] = std::move(receiver);
    }
    return AlsaPortIdentities::address(owner->id, port);
}

void AlsaMIDIBackend::State::deletePort(MIDIRef port) {
    auto owner = client(clientOf(port));
    if (!owner) return;
    bool receiving;
    {
        std::lock_guard guard(lock);
        receiving = owner->receivers.erase(portOf(port)) > 0;
        identities.removeFixed(port);
    }
    snd_seq_delete_simple_port(owner->seq.get(), portOf(port));
    if (receiving && !onReceiveThread()) {
        std::lock_guard delivered(deliveryLock);
    }
}

MIDIRef AlsaMIDIBackend::createInputPort(MIDIRef client, const std::string& name,
                                         MIDIReceiveCallback onReceive) {
    return state_->createPort(client, name, SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
                              SND_SEQ_PORT_TYPE_APPLICATION, "MIDIInputPortCreate", std::move(onReceive));
}

MIDIRef AlsaMIDIBackend::createOutputPort(MIDIRef client, const std::string& name) {
    return state_->createPort(client, name, SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_NO_EXPORT,
                              SND_SEQ_PORT_TYPE_APPLICATION, "MIDIOutputPortCreate", {});
}

void AlsaMIDIBackend::disposePort(MIDIRef port) { state_->deletePort(port); }

namespace {

using SubscriptionCall = int (*)(snd_seq_t*, int, int, int);

// Makes or ends the subscription between our port `own` and `other` with `call`. A connection
// that fails is worth a warning; a disconnection that fails only means the subscription went
// with the other port.
void changeSubscription(snd_seq_t* seq, MIDIRef own, MIDIRef other, SubscriptionCall call, bool connecting,
                        const char* action) {
    const int error = call(seq, portOf(own), clientOf(other), portOf(other));
    if (error >= 0) return;
    const auto text = [&] {
        return std::string("MIDI: ") + action + std::to_string(clientOf(other)) + ":" +
               std::to_string(portOf(other)) + (connecting ? " failed: " : ": ") + snd_strerror(error);
    };
    if (connecting) {
        Log::shared().warning(text);
    } else {
        Log::shared().debug(text);
    }
}

// The kernel keeps a subscription with the sending port and removes it with either end; a port
// made again at the same address starts without any.
bool subscribed(snd_seq_t* seq, MIDIRef sender, MIDIRef receiver) {
    snd_seq_port_subscribe_t* subscription = nullptr;
    snd_seq_port_subscribe_alloca(&subscription);
    const snd_seq_addr_t from{static_cast<unsigned char>(clientOf(sender)),
                              static_cast<unsigned char>(portOf(sender))};
    const snd_seq_addr_t to{static_cast<unsigned char>(clientOf(receiver)),
                            static_cast<unsigned char>(portOf(receiver))};
    snd_seq_port_subscribe_set_sender(subscription, &from);
    snd_seq_port_subscribe_set_dest(subscription, &to);
    return snd_seq_get_port_subscription(seq, subscription) == 0;
}

}  // namespace

void AlsaMIDIBackend::connectSource(MIDIRef inputPort, MIDIRef source) {
    if (auto owner = state_->client(clientOf(inputPort)))
        changeSubscription(owner->seq.get(), inputPort, source, snd_seq_connect_from, true, "connecting ");
}

void AlsaMIDIBackend::disconnectSource(MIDIRef inputPort, MIDIRef source) {
    if (auto owner = state_->client(clientOf(inputPort)))
        changeSubscription(owner->seq.get(), inputPort, source, snd_seq_disconnect_from, false, "disconnecting ");
}

// A kernel client's port (snd-seq-midi, a USB MIDI device's) opens its device for output only for
// a subscriber, and drops events sent to it otherwise.
void AlsaMIDIBackend::connectDestination(MIDIRef outputPort, MIDIRef destination) {
    if (auto owner = state_->client(clientOf(outputPort)))
        changeSubscription(owner->seq.get(), outputPort, destination, snd_seq_connect_to, true, "connecting to ");
}

void AlsaMIDIBackend::disconnectDestination(MIDIRef outputPort, MIDIRef destination) {
    if (auto owner = state_->client(clientOf(outputPort)))
        changeSubscription(owner->seq.get(), outputPort, destination, snd_seq_disconnect_to, false,
                           "disconnecting from ");
}

bool AlsaMIDIBackend::sourceConnected(MIDIRef inputPort, MIDIRef source) {
    auto owner = state_->client(clientOf(inputPort));
    return owner && subscribed(owner->seq.get(), source, inputPort);
}

bool AlsaMIDIBackend::destinationConnected(MIDIRef outputPort, MIDIRef destination) {
    auto owner = state_->client(clientOf(outputPort));
    return owner && subscribed(owner->seq.get(), outputPort, destination);
}

// ---- sending

MIDISendResult AlsaMIDIBackend::State::sendEvents(MIDIRef from, std::optional<MIDIRef> to,
                                                  std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return MIDISendResult::sent;
    auto owner = client(clientOf(from));
    if (!owner) return MIDISendResult::failed;
    int failure = 0;
    std::lock_guard sending(sendLock);
    auto output = [&](snd_seq_event_t& event) {
        snd_seq_ev_set_source(&event, portOf(from));
        if (to) {
            snd_seq_ev_set_dest(&event, clientOf(*to), portOf(*to));
        } else {
            snd_seq_ev_set_subs(&event);
        }
        snd_seq_ev_set_direct(&event);
        if (int result = snd_seq_event_output_direct(owner->seq.get(), &event); result < 0 && failure == 0) {
            failure = result;
        }
    };
    // By reference: a std::function holding the whole closure would allocate for every send.
    encoder.encode(bytes, std::ref(output));
    if (failure == -EAGAIN || failure == -ENOMEM) {
        // A receiving program's input pool was full: the sequencer drops the event, and the
        // receiver loses what it had queued too. Only a reader that falls far behind gets here.
        refusals->error.store(failure);
        refusals->count.fetch_add(1);
        refusalsToReport.raise();
        return MIDISendResult::receiverFull;
    }
    if (failure < 0) {
        // Mostly a destination that has just gone; the next set-up change unbinds it.
        Log::shared().debug([&] { return std::string("MIDI send failed: ") + snd_strerror(failure); });
        return MIDISendResult::failed;
    }
    return MIDISendResult::sent;
}

MIDISendResult AlsaMIDIBackend::send(MIDIRef outputPort, MIDIRef destination,
                                     std::span<const std::uint8_t> bytes) {
    return state_->sendEvents(outputPort, destination, bytes);
}

// ---- virtual endpoints

MIDIRef AlsaMIDIBackend::createVirtualSource(MIDIRef client, const std::string& name, std::int32_t uniqueID) {
    MIDIRef port = state_->createPort(client, name, SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                      SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION,
                                      "MIDISourceCreate", {});
    std::lock_guard guard(state_->lock);
    state_->identities.setFixed(port, uniqueID);
    return port;
}

MIDIRef AlsaMIDIBackend::createVirtualDestination(MIDIRef client, const std::string& name,
                                                  std::int32_t uniqueID, MIDIReceiveCallback onReceive) {
    MIDIRef port = state_->createPort(client, name, SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                      SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION,
                                      "MIDIDestinationCreate", std::move(onReceive));
    std::lock_guard guard(state_->lock);
    state_->identities.setFixed(port, uniqueID);
    return port;
}

MIDISendResult AlsaMIDIBackend::received(MIDIRef virtualSource, std::span<const std::uint8_t> bytes) {
    return state_->sendEvents(virtualSource, std::nullopt, bytes);
}

void AlsaMIDIBackend::disposeEndpoint(MIDIRef endpoint) { state_->deletePort(endpoint); }

}  // namespace corvane
