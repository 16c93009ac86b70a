#include "hardware/VirtualMIDIPort.h"

#include <limits>

#include "platform/Precondition.h"

namespace corvane {

VirtualMIDIPort::VirtualMIDIPort(std::shared_ptr<MIDIClient> client, std::string name, std::int32_t uniqueID,
                                 MIDIReceiveCallback onReceive)
    : client_(std::move(client)), name_(std::move(name)) {
    precondition(uniqueID < std::numeric_limits<std::int32_t>::max(),
                 "virtual port unique ID leaves no room for its destination");
    MIDIBackend& backend = client_->backend();
    source_ = backend.createVirtualSource(client_->ref(), name_, uniqueID);
    if (onReceive) {
        try {
            destination_ =
                backend.createVirtualDestination(client_->ref(), name_, uniqueID + 1, std::move(onReceive));
        } catch (...) {
            backend.disposeEndpoint(source_);
            throw;
        }
    }
}

VirtualMIDIPort::~VirtualMIDIPort() {
    MIDIBackend& backend = client_->backend();
    backend.disposeEndpoint(source_);
    if (destination_ != 0) backend.disposeEndpoint(destination_);
}

MIDISendResult VirtualMIDIPort::send(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return MIDISendResult::sent;
    return client_->backend().received(source_, bytes);
}

}  // namespace corvane
