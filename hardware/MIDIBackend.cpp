#include "hardware/MIDIBackend.h"

#include "hardware/AlsaMIDIBackend.h"

namespace corvane {

std::shared_ptr<MIDIBackend> MIDIBackend::system() {
    // Never destroyed: receive threads may still run while the process exits.
    static auto* shared = new std::shared_ptr<MIDIBackend>(std::make_shared<AlsaMIDIBackend>());
    return *shared;
}

}  // namespace corvane
