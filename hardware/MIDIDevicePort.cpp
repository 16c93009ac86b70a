#include "hardware/MIDIDevicePort.h"

#include <algorithm>

#include "core/Hex.h"
#include "core/Log.h"
#include "hardware/MIDIEndpoints.h"

namespace corvane {

namespace {

std::optional<MIDIEndpointInfo> firstOnline(const std::vector<MIDIEndpointInfo>& endpoints,
                                            const std::string& name) {
    auto found = std::find_if(endpoints.begin(), endpoints.end(), [&](const MIDIEndpointInfo& endpoint) {
        return endpoint.displayName == name && !endpoint.offline;
    });
    if (found == endpoints.end()) return std::nullopt;
    return *found;
}

constexpr std::size_t loggedBytes = 24;

std::string hexPrefix(std::span<const std::uint8_t> bytes) {
    return Hex::bytes(bytes.first(std::min(bytes.size(), loggedBytes)));
}

}  // namespace

MIDIDevicePort::MIDIDevicePort(Key, std::shared_ptr<MIDIClient> client, std::string sourceName,
                               std::string destinationName)
    : sourceName_(std::move(sourceName)),
      destinationName_(std::move(destinationName)),
      client_(std::move(client)) {}

std::shared_ptr<MIDIDevicePort> MIDIDevicePort::create(std::shared_ptr<MIDIClient> client,
                                                       std::string sourceName, std::string destinationName,
                                                       MIDIReceiveCallback onReceive) {
    auto port = std::make_shared<MIDIDevicePort>(Key{}, std::move(client), std::move(sourceName),
                                                 std::move(destinationName));
    MIDIBackend& backend = port->client_->backend();
    port->inputPort_ =
        backend.createInputPort(port->client_->ref(), port->sourceName_ + " in", std::move(onReceive));
    port->outputPort_ = backend.createOutputPort(port->client_->ref(), port->destinationName_ + " out");
    std::weak_ptr<MIDIDevicePort> weak = port;
    port->client_->onSetupChanged([weak] {
        if (auto alive = weak.lock()) alive->refresh();
    });
    port->refresh();
    return port;
}

MIDIDevicePort::~MIDIDevicePort() {
    MIDIBackend& backend = client_->backend();
    if (inputPort_ != 0) backend.disposePort(inputPort_);
    if (outputPort_ != 0) backend.disposePort(outputPort_);
}

void MIDIDevicePort::refresh() {
    bool wasConnected = isConnected();
    MIDIBackend& backend = client_->backend();
    auto newSource = firstOnline(MIDIEndpoints::sources(backend), sourceName_);
    auto newDestination = firstOnline(MIDIEndpoints::destinations(backend), destinationName_);

    std::optional<MIDIEndpointInfo> oldSource = source();
    if (!newSource) {
        if (oldSource) backend.disconnectSource(inputPort_, oldSource->ref);
    } else if (!oldSource || oldSource->uniqueID != newSource->uniqueID || oldSource->ref != newSource->ref) {
        // An endpoint that keeps its unique ID under a new reference replaced the old one, whose
        // connection went with it.
        if (oldSource) backend.disconnectSource(inputPort_, oldSource->ref);
        backend.connectSource(inputPort_, newSource->ref);
    }

    std::function<void(bool)> handler;
    bool connected;
    {
        std::lock_guard guard(lock_);
        source_ = std::move(newSource);
        destination_ = std::move(newDestination);
        connected = source_.has_value() && destination_.has_value();
        handler = onConnectionChange_;
    }
    if (connected != wasConnected && handler) handler(connected);
}

void MIDIDevicePort::send(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return;
    // Only the reference: copying the whole endpoint would copy its name for every message.
    std::optional<MIDIRef> bound;
    {
        std::lock_guard guard(lock_);
        if (destination_) bound = destination_->ref;
    }
    if (!bound) {
        Log::shared().midi(
            [&] { return "→ " + destinationName_ + " dropped (port not connected): " + hexPrefix(bytes); });
        return;
    }
    Log::shared().midi([&] { return "→ " + destinationName_ + ": " + hexPrefix(bytes); });
    client_->backend().send(outputPort_, *bound, bytes);
}

bool MIDIDevicePort::isConnected() const {
    std::lock_guard guard(lock_);
    return source_.has_value() && destination_.has_value();
}

std::optional<MIDIEndpointInfo> MIDIDevicePort::source() const {
    std::lock_guard guard(lock_);
    return source_;
}

std::optional<MIDIEndpointInfo> MIDIDevicePort::destination() const {
    std::lock_guard guard(lock_);
    return destination_;
}

void MIDIDevicePort::setOnConnectionChange(std::function<void(bool)> handler) {
    std::lock_guard guard(lock_);
    onConnectionChange_ = std::move(handler);
}

}  // namespace corvane
