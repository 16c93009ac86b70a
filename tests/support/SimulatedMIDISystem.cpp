#include "tests/support/SimulatedMIDISystem.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include "hardware/MIDIError.h"
#include "platform/MainQueue.h"
#include "platform/PICondition.h"
#include "platform/PIMutex.h"

namespace corvane {

using Callback = std::shared_ptr<MIDIReceiveCallback>;

namespace {

thread_local int systemWork = 0;

// Marks the system's own work on the calling thread while it lives.
class SystemWork {
public:
    SystemWork() { ++systemWork; }
    ~SystemWork() { --systemWork; }
    SystemWork(const SystemWork&) = delete;
    SystemWork& operator=(const SystemWork&) = delete;
};

}  // namespace

struct SimulatedMIDISystem::State {
    struct EndpointEntry {
        MIDIRef ref = 0;
        bool isSource = false;
        MIDIRef client = 0;  // 0 for the outside world
        std::optional<std::string> name;
        std::optional<std::int32_t> uniqueID;
        bool offline = false;
        Callback receiver;  // a virtual destination's callback, or a device's own handling
        bool takesOnlySubscribers = false;  // a device's destination, a port of the kernel's
    };
    struct PortEntry {
        MIDIRef client = 0;
        Callback callback;  // input ports only
    };
    struct ClientEntry {
        std::string name;
        std::function<void()> onSetupChanged;
        std::shared_ptr<std::function<void()>> onInputLost;
        bool notificationPending = false;
    };
    struct Delivery {
        MIDIRef target = 0;
        MIDIRef reader = 0;  // whose input pool holds it
        Bytes bytes;
        bool announcement = false;  // a set-up change held for a client that does not read
    };
    // A reader's input pool, as the kernel keeps one per client.
    struct Input {
        std::size_t pool = defaultInputPool;
        std::size_t queued = 0;
        bool reading = true;
        bool overflowed = false;
        std::size_t allowance = 0;  // runs it may still read while it does not read
        InputCounts counts;
    };

    // Inherits priority, as the ALSA backend's locks do: a real-time note-repeat thread sends
    // through here.
    mutable PIMutex lock;
    mutable PICondition changed;
    std::vector<EndpointEntry> endpoints;  // the system's order
    std::map<MIDIRef, PortEntry> ports;
    std::map<MIDIRef, std::set<MIDIRef>> readers;  // source -> input ports
    std::map<MIDIRef, std::set<MIDIRef>> writers;  // destination -> output ports
    std::map<MIDIRef, std::shared_ptr<ClientEntry>> clients;
    std::map<std::string, std::int32_t> failures;
    std::optional<std::int32_t> unreachable;  // the status every client create and listing fails with
    std::vector<Packet> packets;
    std::shared_ptr<SendHook> sendHook;
    std::shared_ptr<DeliveryHook> deliveryHook;
    std::vector<ConnectionCall> calls;
    MIDIRef lastRef = 0x100;
    std::int32_t lastUniqueID = 0x1000;
    int notificationsDelivered = 0;
    int notificationsOutstanding = 0;
    std::deque<Delivery> queue;
    std::map<MIDIRef, Input> inputs;  // by client, or by outside destination
    std::size_t notReading = 0;       // inputs whose reader does not read
    bool delivering = false;
    bool stopping = false;

    std::mutex deliveryLock;  // held while a delivery runs
    std::thread thread;
    std::weak_ptr<State> self;

    MIDIRef newRef() { return ++lastRef; }

    EndpointEntry* endpoint(MIDIRef ref) {
        auto found = std::find_if(endpoints.begin(), endpoints.end(), [&](auto& e) { return e.ref == ref; });
        return found == endpoints.end() ? nullptr : &*found;
    }

    // Where the kernel lists a port, by its address.
    void insert(EndpointEntry entry) {
        auto after =
            std::find_if(endpoints.begin(), endpoints.end(), [&](auto& e) { return e.ref > entry.ref; });
        endpoints.insert(after, std::move(entry));
    }

    EndpointEntry& require(MIDIRef ref) {
        EndpointEntry* entry = endpoint(ref);
        if (entry == nullptr) throw std::invalid_argument("no such MIDI endpoint");
        return *entry;
    }

    void checkReachable() const {
        if (unreachable) throw MIDIError(*unreachable, "MIDIClientCreate");
    }

    void checkFailure(const std::string& operation) {
        auto found = failures.find(operation);
        if (found == failures.end()) return;
        std::int32_t status = found->second;
        failures.erase(found);
        throw MIDIError(status, operation);
    }

    // Under `lock`: false when the reader's pool is full, which the reader hears of at its
    // next read.
    bool enqueue(MIDIRef target, MIDIRef reader, Bytes bytes) {
        Input& input = inputs[reader];
        if (input.queued >= input.pool) {
            input.overflowed = true;
            ++input.counts.refused;
            return false;
        }
        ++input.queued;
        ++input.counts.taken;
        queue.push_back({target, reader, std::move(bytes)});
        changed.notify_all();
        return true;
    }

    // False when a reader's full pool refused the run.
    bool deliverFrom(MIDIRef source, std::span<const std::uint8_t> bytes) {
        auto found = readers.find(source);
        if (found == readers.end()) return true;
        bool taken = true;
        for (MIDIRef port : found->second) {
            auto entry = ports.find(port);
            if (entry == ports.end()) continue;
            taken = enqueue(port, entry->second.client, Bytes(bytes.begin(), bytes.end())) && taken;
        }
        return taken;
    }

    // Under `lock`: a client, or an outside destination.
    void requireReader(MIDIRef ref) {
        if (clients.contains(ref)) return;
        if (EndpointEntry* entry = endpoint(ref); entry != nullptr && !entry->isSource && entry->client == 0)
            return;
        throw std::invalid_argument("readers are clients and outside destinations");
    }

    // Under `lock`.
    void forgetInput(MIDIRef reader) {
        auto found = inputs.find(reader);
        if (found == inputs.end()) return;
        if (!found->second.reading) --notReading;
        inputs.erase(found);
    }

    bool reads(MIDIRef reader) const {
        auto found = inputs.find(reader);
        return found == inputs.end() || found->second.reading || found->second.allowance > 0;
    }

    // Under `lock`: whether anything waits in the reader's input.
    bool holdsAny(MIDIRef reader) const {
        return std::any_of(queue.begin(), queue.end(), [&](const Delivery& d) { return d.reader == reader; });
    }

    // Under `lock`: where the first queued delivery whose reader reads is; the queue's size when
    // there is none.
    std::size_t nextDelivery() const {
        if (notReading == 0) return 0;
        auto found =
            std::find_if(queue.begin(), queue.end(), [&](const Delivery& d) { return reads(d.reader); });
        return static_cast<std::size_t>(found - queue.begin());
    }

    bool deliverable() const { return nextDelivery() < queue.size(); }

    // Under `lock`: every client hears of the change once, later, on the main queue. As the
    // kernel's announcements do, the change waits in the input of a client that does not read,
    // where it takes room and goes if that input overflows.
    void setupChanged() {
        for (auto& [ref, client] : clients) {
            if (reads(ref)) {
                notify(ref, client);
            } else if (Input& input = inputs[ref]; input.queued >= input.pool) {
                input.overflowed = true;
            } else {
                ++input.queued;
                queue.push_back({0, ref, {}, true});
            }
        }
    }

    // Under `lock`: the client hears of set-up changes once, later, on the main queue.
    void notify(MIDIRef clientRef, const std::shared_ptr<ClientEntry>& client) {
        if (client->notificationPending) return;
        client->notificationPending = true;
        ++notificationsOutstanding;
        std::weak_ptr<State> weakState = self;
        std::weak_ptr<ClientEntry> weakClient = client;
        MainQueue::async([weakState, weakClient, clientRef] {
            auto state = weakState.lock();
            if (!state) return;
            std::function<void()> observer;
            {
                std::lock_guard guard(state->lock);
                --state->notificationsOutstanding;
                auto client = weakClient.lock();
                if (!client) return;
                client->notificationPending = false;
                if (!state->clients.contains(clientRef)) return;
                observer = client->onSetupChanged;
            }
            if (observer) observer();
            std::lock_guard guard(state->lock);
            ++state->notificationsDelivered;
            state->changed.notify_all();
        });
    }

    // Under `lock`.
    void notify(MIDIRef clientRef) {
        if (auto client = clients.find(clientRef); client != clients.end()) notify(clientRef, client->second);
    }

    bool onDeliveryThread() const { return std::this_thread::get_id() == thread.get_id(); }

    // After a callback was removed: a delivery to it that is running finishes first.
    void waitForRunningDelivery() {
        if (onDeliveryThread()) return;
        std::lock_guard delivered(deliveryLock);
    }

    bool idle() const { return !deliverable() && !delivering && notificationsOutstanding == 0; }

    void deliveryLoop() {
        std::unique_lock guard(lock);
        for (;;) {
            changed.wait(guard, [&] { return stopping || deliverable(); });
            if (stopping) return;
            const auto next = queue.begin() + static_cast<std::ptrdiff_t>(nextDelivery());
            Delivery delivery = std::move(*next);
            queue.erase(next);
            Callback callback;
            std::shared_ptr<std::function<void()>> lost;
            auto input = inputs.find(delivery.reader);
            if (input != inputs.end() && !input->second.reading && input->second.allowance > 0) {
                input->second.allowance = input->second.overflowed ? 0 : input->second.allowance - 1;
            }
            if (input != inputs.end() && input->second.overflowed) {
                // The first read after an overflow: the kernel clears the reader's whole queue,
                // held set-up changes included.
                std::erase_if(queue, [&](const Delivery& d) { return d.reader == delivery.reader; });
                input->second.queued = 0;
                input->second.overflowed = false;
                ++input->second.counts.lost;
                if (auto client = clients.find(delivery.reader); client != clients.end())
                    lost = client->second->onInputLost;
            } else {
                if (input != inputs.end() && input->second.queued > 0) --input->second.queued;
                if (delivery.announcement) {
                    // The backend reads what is queued in one go, and tells of its changes once.
                    const auto held = std::erase_if(queue, [&](const Delivery& d) {
                        return d.reader == delivery.reader && d.announcement;
                    });
                    if (input != inputs.end()) input->second.queued -= std::min(input->second.queued, held);
                    notify(delivery.reader);
                } else if (auto port = ports.find(delivery.target); port != ports.end()) {
                    callback = port->second.callback;
                } else if (EndpointEntry* entry = endpoint(delivery.target)) {
                    callback = entry->receiver;
                }
            }
            const std::shared_ptr<DeliveryHook> hook = deliveryHook;
            delivering = true;
            std::unique_lock running(deliveryLock);
            guard.unlock();
            if (lost && *lost) (*lost)();
            if (callback && *callback) {
                if (hook) {
                    (*hook)(delivery.target, [&] { (*callback)(delivery.bytes); });
                } else {
                    (*callback)(delivery.bytes);
                }
            }
            running.unlock();
            guard.lock();
            // As the ALSA backend does: the changes held with the lost input are looked for again.
            if (lost) notify(delivery.reader);
            delivering = false;
            changed.notify_all();
        }
    }
};

SimulatedMIDISystem::SimulatedMIDISystem() : state_(std::make_shared<State>()) {
    state_->self = state_;
    state_->thread = std::thread([state = state_.get()] { state->deliveryLoop(); });
}

SimulatedMIDISystem::~SimulatedMIDISystem() {
    {
        std::lock_guard guard(state_->lock);
        state_->stopping = true;
        state_->changed.notify_all();
    }
    if (state_->onDeliveryThread()) {
        state_->thread.detach();
    } else {
        state_->thread.join();
    }
}

// ---- the outside world

MIDIRef SimulatedMIDISystem::addSource(std::optional<std::string> name, std::optional<std::int32_t> uniqueID,
                                       bool offline) {
    std::lock_guard guard(state_->lock);
    MIDIRef ref = state_->newRef();
    state_->endpoints.push_back(
        {ref, true, 0, std::move(name), uniqueID.value_or(++state_->lastUniqueID), offline, {}});
    state_->setupChanged();
    return ref;
}

MIDIRef SimulatedMIDISystem::addDestination(std::optional<std::string> name,
                                            std::optional<std::int32_t> uniqueID, bool offline) {
    std::lock_guard guard(state_->lock);
    MIDIRef ref = state_->newRef();
    state_->endpoints.push_back(
        {ref, false, 0, std::move(name), uniqueID.value_or(++state_->lastUniqueID), offline, {}});
    state_->setupChanged();
    return ref;
}

SimulatedMIDISystem::Device SimulatedMIDISystem::addDevice(const std::string& name,
                                                           std::optional<std::int32_t> uniqueID) {
    std::int32_t id;
    {
        std::lock_guard guard(state_->lock);
        id = uniqueID.value_or(state_->lastUniqueID + 1);
        state_->lastUniqueID = std::max(state_->lastUniqueID, id + 1);
    }
    Device device;
    device.source = addSource(name, id);
    device.destination = addDestination(name, id + 1);
    std::lock_guard guard(state_->lock);
    state_->require(device.destination).takesOnlySubscribers = true;
    return device;
}

SimulatedMIDISystem::Device SimulatedMIDISystem::addDevice(const std::string& name, Device at,
                                                           std::optional<std::int32_t> uniqueID) {
    std::lock_guard guard(state_->lock);
    for (MIDIRef ref : {at.source, at.destination}) {
        if (ref == 0 || state_->endpoint(ref) != nullptr || state_->ports.contains(ref) ||
            state_->clients.contains(ref))
            throw std::invalid_argument("a device comes back only where nothing is");
    }
    const std::int32_t id = uniqueID.value_or(state_->lastUniqueID + 1);
    state_->lastUniqueID = std::max(state_->lastUniqueID, id + 1);
    state_->insert({at.source, true, 0, name, id, false, {}, false});
    state_->setupChanged();
    state_->insert({at.destination, false, 0, name, id + 1, false, {}, true});
    state_->setupChanged();
    return at;
}

void SimulatedMIDISystem::remove(MIDIRef endpoint) {
    std::lock_guard guard(state_->lock);
    state_->require(endpoint);
    std::erase_if(state_->endpoints, [&](auto& e) { return e.ref == endpoint; });
    state_->readers.erase(endpoint);
    state_->writers.erase(endpoint);
    // What a device had not taken yet goes with it, not to one plugged in at its address.
    std::erase_if(state_->queue, [&](const State::Delivery& d) { return d.reader == endpoint; });
    state_->forgetInput(endpoint);
    state_->setupChanged();
}

void SimulatedMIDISystem::remove(Device device) {
    remove(device.source);
    remove(device.destination);
}

void SimulatedMIDISystem::rename(MIDIRef endpoint, std::optional<std::string> name) {
    std::lock_guard guard(state_->lock);
    state_->require(endpoint).name = std::move(name);
    state_->setupChanged();
}

void SimulatedMIDISystem::setOffline(MIDIRef endpoint, bool offline) {
    std::lock_guard guard(state_->lock);
    state_->require(endpoint).offline = offline;
    state_->setupChanged();
}

void SimulatedMIDISystem::setReceiver(MIDIRef destination, MIDIReceiveCallback receiver) {
    std::lock_guard guard(state_->lock);
    auto& entry = state_->require(destination);
    if (entry.isSource || entry.client != 0) throw std::invalid_argument("not an outside destination");
    entry.receiver = std::make_shared<MIDIReceiveCallback>(std::move(receiver));
}

void SimulatedMIDISystem::setSendHook(SendHook hook) {
    std::lock_guard guard(state_->lock);
    state_->sendHook = hook ? std::make_shared<SendHook>(std::move(hook)) : nullptr;
}

void SimulatedMIDISystem::setDeliveryHook(DeliveryHook hook) {
    std::lock_guard guard(state_->lock);
    state_->deliveryHook = hook ? std::make_shared<DeliveryHook>(std::move(hook)) : nullptr;
}

bool SimulatedMIDISystem::busyOnThisThread() { return systemWork > 0; }

// ---- traffic

void SimulatedMIDISystem::inject(MIDIRef endpoint, Bytes bytes) {
    std::lock_guard guard(state_->lock);
    auto& entry = state_->require(endpoint);
    if (entry.isSource && entry.client == 0) {
        if (!entry.offline) state_->deliverFrom(endpoint, bytes);
    } else if (!entry.isSource && entry.client != 0) {
        state_->enqueue(endpoint, entry.client, std::move(bytes));
    } else {
        throw std::invalid_argument("bytes come from outside sources or go to our virtual destinations");
    }
}

std::vector<SimulatedMIDISystem::Bytes> SimulatedMIDISystem::sentTo(MIDIRef endpoint) const {
    std::lock_guard guard(state_->lock);
    std::vector<Bytes> runs;
    for (const auto& packet : state_->packets) {
        if (packet.to == endpoint || (packet.to == 0 && packet.from == endpoint))
            runs.push_back(packet.bytes);
    }
    return runs;
}

std::vector<SimulatedMIDISystem::Packet> SimulatedMIDISystem::sent() const {
    std::lock_guard guard(state_->lock);
    return state_->packets;
}

void SimulatedMIDISystem::clearSent() {
    std::lock_guard guard(state_->lock);
    state_->packets.clear();
}

// ---- input that overflows

void SimulatedMIDISystem::setInputPool(MIDIRef reader, std::size_t events) {
    if (events == 0) throw std::invalid_argument("an input pool holds at least one event");
    std::lock_guard guard(state_->lock);
    state_->requireReader(reader);
    state_->inputs[reader].pool = events;
}

void SimulatedMIDISystem::setReading(MIDIRef reader, bool reading) {
    std::lock_guard guard(state_->lock);
    state_->requireReader(reader);
    State::Input& input = state_->inputs[reader];
    if (input.reading == reading) return;
    input.reading = reading;
    if (reading) {
        --state_->notReading;
    } else {
        ++state_->notReading;
    }
    state_->changed.notify_all();
}

void SimulatedMIDISystem::readSome(MIDIRef reader, std::size_t events) {
    std::unique_lock guard(state_->lock);
    state_->requireReader(reader);
    auto input = state_->inputs.find(reader);
    if (input == state_->inputs.end() || input->second.reading || events == 0) return;
    input->second.allowance = events;
    state_->changed.notify_all();
    state_->changed.wait(guard, [&] {
        const auto found = state_->inputs.find(reader);
        if (found == state_->inputs.end()) return true;
        return (found->second.allowance == 0 || !state_->holdsAny(reader)) && !state_->delivering;
    });
    if (auto found = state_->inputs.find(reader); found != state_->inputs.end()) found->second.allowance = 0;
}

SimulatedMIDISystem::InputCounts SimulatedMIDISystem::inputCounts(MIDIRef reader) const {
    std::lock_guard guard(state_->lock);
    auto found = state_->inputs.find(reader);
    return found == state_->inputs.end() ? InputCounts{} : found->second.counts;
}

// ---- looking at the system

std::optional<MIDIRef> SimulatedMIDISystem::findClient(const std::string& name) const {
    std::lock_guard guard(state_->lock);
    for (const auto& [ref, client] : state_->clients) {
        if (client->name == name) return ref;
    }
    return std::nullopt;
}

std::optional<MIDIRef> SimulatedMIDISystem::findSource(const std::string& name) const {
    std::lock_guard guard(state_->lock);
    for (const auto& e : state_->endpoints) {
        if (e.isSource && e.name == name) return e.ref;
    }
    return std::nullopt;
}

std::optional<MIDIRef> SimulatedMIDISystem::findDestination(const std::string& name) const {
    std::lock_guard guard(state_->lock);
    for (const auto& e : state_->endpoints) {
        if (!e.isSource && e.name == name) return e.ref;
    }
    return std::nullopt;
}

std::vector<MIDIRef> SimulatedMIDISystem::readersOf(MIDIRef source) const {
    std::lock_guard guard(state_->lock);
    auto found = state_->readers.find(source);
    if (found == state_->readers.end()) return {};
    return {found->second.begin(), found->second.end()};
}

std::vector<MIDIRef> SimulatedMIDISystem::writersOf(MIDIRef destination) const {
    std::lock_guard guard(state_->lock);
    auto found = state_->writers.find(destination);
    if (found == state_->writers.end()) return {};
    return {found->second.begin(), found->second.end()};
}

std::vector<SimulatedMIDISystem::ConnectionCall> SimulatedMIDISystem::connectionCalls() const {
    std::lock_guard guard(state_->lock);
    return state_->calls;
}

void SimulatedMIDISystem::clearConnectionCalls() {
    std::lock_guard guard(state_->lock);
    state_->calls.clear();
}

int SimulatedMIDISystem::setupNotifications() const {
    std::lock_guard guard(state_->lock);
    return state_->notificationsDelivered;
}

int SimulatedMIDISystem::clientCount() const {
    std::lock_guard guard(state_->lock);
    return static_cast<int>(state_->clients.size());
}

int SimulatedMIDISystem::portCount() const {
    std::lock_guard guard(state_->lock);
    return static_cast<int>(state_->ports.size());
}

void SimulatedMIDISystem::failNext(const std::string& operation, std::int32_t status) {
    std::lock_guard guard(state_->lock);
    state_->failures[operation] = status;
}

void SimulatedMIDISystem::makeUnreachable(std::int32_t status) {
    std::lock_guard guard(state_->lock);
    state_->unreachable = status;
}

// ---- waiting

void SimulatedMIDISystem::waitForDeliveries() const {
    std::unique_lock guard(state_->lock);
    state_->changed.wait(guard, [&] { return !state_->deliverable() && !state_->delivering; });
}

bool SimulatedMIDISystem::settle(std::chrono::milliseconds timeout) {
    auto end = std::chrono::steady_clock::now() + timeout;
    auto remaining = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    };
    auto idle = [&] {
        std::lock_guard guard(state_->lock);
        return state_->idle();
    };
    for (;;) {
        if (!MainQueue::pumpUntil(idle, remaining())) return false;
        // The main queue runs in order: once this marker has run, so has everything posted before.
        auto marker = std::make_shared<std::atomic<bool>>(false);
        MainQueue::async([marker] { *marker = true; });
        if (!MainQueue::pumpUntil([&] { return marker->load(); }, remaining())) return false;
        if (idle()) return true;
    }
}

// ---- MIDIBackend

std::vector<MIDIBackend::Endpoint> SimulatedMIDISystem::sources() {
    std::lock_guard guard(state_->lock);
    state_->checkReachable();
    std::vector<Endpoint> result;
    for (const auto& e : state_->endpoints) {
        if (e.isSource) result.push_back({e.ref, e.name, e.uniqueID, e.offline});
    }
    return result;
}

std::vector<MIDIBackend::Endpoint> SimulatedMIDISystem::destinations() {
    std::lock_guard guard(state_->lock);
    state_->checkReachable();
    std::vector<Endpoint> result;
    for (const auto& e : state_->endpoints) {
        if (!e.isSource) result.push_back({e.ref, e.name, e.uniqueID, e.offline});
    }
    return result;
}

MIDIRef SimulatedMIDISystem::createClient(const std::string& name, std::function<void()> onSetupChanged,
                                          std::function<void()> onInputLost) {
    std::lock_guard guard(state_->lock);
    state_->checkReachable();
    state_->checkFailure("MIDIClientCreate");
    MIDIRef ref = state_->newRef();
    auto client = std::make_shared<State::ClientEntry>();
    client->name = name;
    client->onSetupChanged = std::move(onSetupChanged);
    client->onInputLost = std::make_shared<std::function<void()>>(std::move(onInputLost));
    state_->clients[ref] = std::move(client);
    return ref;
}

void SimulatedMIDISystem::disposeClient(MIDIRef client) {
    {
        std::lock_guard guard(state_->lock);
        state_->clients.erase(client);
        state_->forgetInput(client);
    }
    state_->waitForRunningDelivery();
}

MIDIRef SimulatedMIDISystem::createInputPort(MIDIRef client, const std::string&,
                                             MIDIReceiveCallback onReceive) {
    std::lock_guard guard(state_->lock);
    state_->checkFailure("MIDIInputPortCreate");
    MIDIRef ref = state_->newRef();
    state_->ports[ref] = {client, std::make_shared<MIDIReceiveCallback>(std::move(onReceive))};
    return ref;
}

MIDIRef SimulatedMIDISystem::createOutputPort(MIDIRef client, const std::string&) {
    std::lock_guard guard(state_->lock);
    state_->checkFailure("MIDIOutputPortCreate");
    MIDIRef ref = state_->newRef();
    state_->ports[ref] = {client, nullptr};
    return ref;
}

void SimulatedMIDISystem::disposePort(MIDIRef port) {
    {
        std::lock_guard guard(state_->lock);
        state_->ports.erase(port);
        for (auto& [source, ports] : state_->readers) ports.erase(port);
        for (auto& [destination, ports] : state_->writers) ports.erase(port);
    }
    state_->waitForRunningDelivery();
}

void SimulatedMIDISystem::connectSource(MIDIRef inputPort, MIDIRef source) {
    std::lock_guard guard(state_->lock);
    state_->calls.push_back({inputPort, source, true});
    State::EndpointEntry* entry = state_->endpoint(source);
    if (entry == nullptr || !entry->isSource || !state_->ports.contains(inputPort)) return;
    state_->readers[source].insert(inputPort);
}

void SimulatedMIDISystem::disconnectSource(MIDIRef inputPort, MIDIRef source) {
    std::lock_guard guard(state_->lock);
    state_->calls.push_back({inputPort, source, false});
    if (auto found = state_->readers.find(source); found != state_->readers.end())
        found->second.erase(inputPort);
}

void SimulatedMIDISystem::connectDestination(MIDIRef outputPort, MIDIRef destination) {
    std::lock_guard guard(state_->lock);
    State::EndpointEntry* entry = state_->endpoint(destination);
    if (entry == nullptr || entry->isSource || !state_->ports.contains(outputPort)) return;
    state_->writers[destination].insert(outputPort);
}

void SimulatedMIDISystem::disconnectDestination(MIDIRef outputPort, MIDIRef destination) {
    std::lock_guard guard(state_->lock);
    if (auto found = state_->writers.find(destination); found != state_->writers.end())
        found->second.erase(outputPort);
}

bool SimulatedMIDISystem::sourceConnected(MIDIRef inputPort, MIDIRef source) {
    std::lock_guard guard(state_->lock);
    auto found = state_->readers.find(source);
    return found != state_->readers.end() && found->second.contains(inputPort);
}

bool SimulatedMIDISystem::destinationConnected(MIDIRef outputPort, MIDIRef destination) {
    std::lock_guard guard(state_->lock);
    auto found = state_->writers.find(destination);
    return found != state_->writers.end() && found->second.contains(outputPort);
}

MIDISendResult SimulatedMIDISystem::send(MIDIRef outputPort, MIDIRef destination,
                                         std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return MIDISendResult::sent;
    std::shared_ptr<SendHook> hook;
    {
        SystemWork work;
        std::lock_guard guard(state_->lock);
        State::EndpointEntry* entry = state_->endpoint(destination);
        if (entry != nullptr && entry->takesOnlySubscribers) {
            auto writers = state_->writers.find(destination);
            if (writers == state_->writers.end() || !writers->second.contains(outputPort))
                return MIDISendResult::failed;  // refused
        }
        if (entry != nullptr && !entry->isSource && entry->receiver) {
            const MIDIRef reader = entry->client != 0 ? entry->client : destination;
            if (!state_->enqueue(destination, reader, Bytes(bytes.begin(), bytes.end())))
                return MIDISendResult::receiverFull;
        }
        state_->packets.push_back({outputPort, destination, Bytes(bytes.begin(), bytes.end())});
        if (entry == nullptr) return MIDISendResult::failed;
        hook = state_->sendHook;
    }
    if (hook) (*hook)(destination, bytes);
    return MIDISendResult::sent;
}

MIDIRef SimulatedMIDISystem::createVirtualSource(MIDIRef client, const std::string& name,
                                                 std::int32_t uniqueID) {
    std::lock_guard guard(state_->lock);
    state_->checkFailure("MIDISourceCreate");
    MIDIRef ref = state_->newRef();
    state_->endpoints.push_back({ref, true, client, name, uniqueID, false, {}});
    state_->setupChanged();
    return ref;
}

MIDIRef SimulatedMIDISystem::createVirtualDestination(MIDIRef client, const std::string& name,
                                                      std::int32_t uniqueID, MIDIReceiveCallback onReceive) {
    std::lock_guard guard(state_->lock);
    state_->checkFailure("MIDIDestinationCreate");
    MIDIRef ref = state_->newRef();
    state_->endpoints.push_back({ref, false, client, name, uniqueID, false,
                                 std::make_shared<MIDIReceiveCallback>(std::move(onReceive))});
    state_->setupChanged();
    return ref;
}

MIDISendResult SimulatedMIDISystem::received(MIDIRef virtualSource, std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return MIDISendResult::sent;
    std::shared_ptr<SendHook> hook;
    {
        SystemWork work;
        std::lock_guard guard(state_->lock);
        state_->packets.push_back({virtualSource, 0, Bytes(bytes.begin(), bytes.end())});
        if (!state_->deliverFrom(virtualSource, bytes)) return MIDISendResult::receiverFull;
        hook = state_->sendHook;
    }
    if (hook) (*hook)(virtualSource, bytes);
    return MIDISendResult::sent;
}

void SimulatedMIDISystem::disposeEndpoint(MIDIRef endpoint) {
    {
        std::lock_guard guard(state_->lock);
        std::erase_if(state_->endpoints, [&](auto& e) { return e.ref == endpoint; });
        state_->readers.erase(endpoint);
        state_->setupChanged();
    }
    state_->waitForRunningDelivery();
}

}  // namespace corvane
