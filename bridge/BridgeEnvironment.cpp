#include "bridge/BridgeEnvironment.h"

#include "hardware/LibusbBackend.h"
#include "platform/UserDefaults.h"

namespace corvane {

BridgeEnvironment BridgeEnvironment::system() {
    Log* log = &Log::shared();
    auto defaults = std::make_shared<UserDefaults>(
        XDGPaths::corvaneConfigDirectory(), [log](const std::string& problem) {
            log->warning([&] { return "settings: " + problem; });
        });
    return BridgeEnvironment{
        .midi = MIDIBackend::system(),
        .usb = std::make_shared<LibusbBackend>(),
        .settings = std::move(defaults),
        .log = log,
        .promoteRepeatThread = [] { return RealtimeThread::promoteCurrentThread(); },
    };
}

}  // namespace corvane
