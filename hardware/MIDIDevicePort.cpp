#include "hardware/MIDIDevicePort.h"

#include <algorithm>
#include <atomic>

#include "core/Hex.h"
#include "core/Log.h"
#include "hardware/MIDIEndpoints.h"
#include "platform/MainQueue.h"

namespace corvane {

namespace {

// Moves one half's connection from the endpoint bound before to the one bound now. An endpoint
// that keeps its unique ID under a new reference replaced the old one, whose connection went
// with it.
void follow(const std::optional<MIDIEndpointInfo>& old, const std::optional<MIDIEndpointInfo>& next,
            const std::function<void(MIDIRef)>& connect, const std::function<void(MIDIRef)>& disconnect) {
    if (!next) {
        if (old) disconnect(old->ref);
    } else if (!old || old->uniqueID != next->uniqueID || old->ref != next->ref) {
        if (old) disconnect(old->ref);
        connect(next->ref);
    }
}

// Both the reference and the unique ID: a device plugged in again may come back at its old address
// with a fresh ID, or at another with the ID it had.
bool sameEndpoint(const std::optional<MIDIEndpointInfo>& old, const std::optional<MIDIEndpointInfo>& next) {
    return old && next && old->ref == next->ref && old->uniqueID == next->uniqueID;
}

constexpr std::size_t loggedBytes = 24;

std::string hexPrefix(std::span<const std::uint8_t> bytes) {
    return Hex::bytes(bytes.first(std::min(bytes.size(), loggedBytes)));
}

}  // namespace

MIDIDevicePort::MIDIDevicePort(Key, std::shared_ptr<MIDIClient> client, std::vector<MIDIPortName> names)
    : names_(std::move(names)), client_(std::move(client)) {}

std::shared_ptr<MIDIDevicePort> MIDIDevicePort::create(std::shared_ptr<MIDIClient> client,
                                                       std::string sourceName, std::string destinationName,
                                                       MIDIReceiveCallback onReceive) {
    return make(std::move(client), {MIDIPortName{std::move(sourceName), std::move(destinationName)}},
                std::move(onReceive));
}

std::shared_ptr<MIDIDevicePort> MIDIDevicePort::create(std::shared_ptr<MIDIClient> client,
                                                       const std::vector<std::string>& names,
                                                       MIDIReceiveCallback onReceive) {
    return make(std::move(client), MIDIPortChoice::bothWays(names), std::move(onReceive));
}

std::shared_ptr<MIDIDevicePort> MIDIDevicePort::make(std::shared_ptr<MIDIClient> client,
                                                     std::vector<MIDIPortName> names,
                                                     MIDIReceiveCallback onReceive) {
    auto port = std::make_shared<MIDIDevicePort>(Key{}, std::move(client), std::move(names));
    MIDIBackend& backend = port->client_->backend();
    port->inputPort_ =
        backend.createInputPort(port->client_->ref(), port->sourceName() + " in", std::move(onReceive));
    port->outputPort_ = backend.createOutputPort(port->client_->ref(), port->destinationName() + " out");
    std::weak_ptr<MIDIDevicePort> weak = port;
    port->client_->onSetupChanged([weak] {
        if (auto alive = weak.lock()) alive->refresh();
    });
    // A burst of losses asks for one rebind: the owner sets its device up once, not once a loss.
    auto rebindAsked = std::make_shared<std::atomic<bool>>(false);
    port->client_->onInputLost([weak, rebindAsked] {
        if (rebindAsked->exchange(true)) return;
        MainQueue::async([weak, rebindAsked] {
            // Cleared before the listing, so that a loss after it asks again.
            rebindAsked->store(false);
            if (auto alive = weak.lock()) alive->rebind(true);
        });
    });
    port->refresh();
    return port;
}

MIDIDevicePort::~MIDIDevicePort() {
    MIDIBackend& backend = client_->backend();
    if (inputPort_ != 0) backend.disposePort(inputPort_);
    if (outputPort_ != 0) backend.disposePort(outputPort_);
}

void MIDIDevicePort::refresh() { rebind(false); }

void MIDIDevicePort::rebind(bool afresh) {
    MIDIBackend& backend = client_->backend();
    MIDIPortBinding next =
        MIDIPortChoice::choose(names_, MIDIEndpoints::sources(backend), MIDIEndpoints::destinations(backend));
    MIDIPortBinding was;
    {
        std::lock_guard guard(lock_);
        was = bound_;
    }
    // Another name or another endpoint in place of a connected one is another device, or the same
    // one restarted: its owner hears the old one go (with nothing bound, so that what it sends
    // then reaches neither) before the new one comes. Afresh, a connection that no longer stands
    // went with a port we did not hear leave, even where one seems to be there still.
    const bool lost = afresh && !connectionsStand(was);
    const bool replaced = was.connected() && next.connected() &&
                          (lost || was.name != next.name || !sameEndpoint(was.source, next.source) ||
                           !sameEndpoint(was.destination, next.destination));
    if (lost || replaced) bind(MIDIPortBinding{});
    const bool kept = afresh && was.connected() && next.connected() && !replaced;
    bind(std::move(next));
    if (!kept) return;
    std::function<void()> handler;
    {
        std::lock_guard guard(lock_);
        handler = onInputLostWhileConnected_;
    }
    if (handler) handler();
}

bool MIDIDevicePort::connectionsStand(const MIDIPortBinding& binding) const {
    MIDIBackend& backend = client_->backend();
    return (!binding.source || backend.sourceConnected(inputPort_, binding.source->ref)) &&
           (!binding.destination || backend.destinationConnected(outputPort_, binding.destination->ref));
}

void MIDIDevicePort::bind(MIDIPortBinding binding) {
    bool wasConnected = isConnected();
    MIDIBackend& backend = client_->backend();
    follow(
        source(), binding.source, [&](MIDIRef ref) { backend.connectSource(inputPort_, ref); },
        [&](MIDIRef ref) { backend.disconnectSource(inputPort_, ref); });
    follow(
        destination(), binding.destination,
        [&](MIDIRef ref) { backend.connectDestination(outputPort_, ref); },
        [&](MIDIRef ref) { backend.disconnectDestination(outputPort_, ref); });

    std::function<void(bool)> handler;
    bool connected;
    {
        std::lock_guard guard(lock_);
        bound_ = std::move(binding);
        connected = bound_.connected();
        handler = onConnectionChange_;
    }
    if (connected != wasConnected && handler) handler(connected);
}

MIDISendResult MIDIDevicePort::send(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return MIDISendResult::sent;
    // Only the reference: copying the whole endpoint would copy its name for every message.
    std::optional<MIDIRef> bound;
    std::size_t name = 0;
    {
        std::lock_guard guard(lock_);
        if (bound_.destination) bound = bound_.destination->ref;
        name = bound_.name.value_or(0);
    }
    const std::string& destinationName = names_[name].destination;
    if (!bound) {
        Log::shared().midi(
            [&] { return "→ " + destinationName + " dropped (port not connected): " + hexPrefix(bytes); });
        return MIDISendResult::failed;
    }
    Log::shared().midi([&] { return "→ " + destinationName + ": " + hexPrefix(bytes); });
    return client_->backend().send(outputPort_, *bound, bytes);
}

bool MIDIDevicePort::isConnected() const {
    std::lock_guard guard(lock_);
    return bound_.connected();
}

std::optional<MIDIEndpointInfo> MIDIDevicePort::source() const {
    std::lock_guard guard(lock_);
    return bound_.source;
}

std::optional<MIDIEndpointInfo> MIDIDevicePort::destination() const {
    std::lock_guard guard(lock_);
    return bound_.destination;
}

void MIDIDevicePort::setOnConnectionChange(std::function<void(bool)> handler) {
    std::lock_guard guard(lock_);
    onConnectionChange_ = std::move(handler);
}

void MIDIDevicePort::setOnInputLostWhileConnected(std::function<void()> handler) {
    std::lock_guard guard(lock_);
    onInputLostWhileConnected_ = std::move(handler);
}

}  // namespace corvane
