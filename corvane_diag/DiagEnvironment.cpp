#include "corvane_diag/DiagEnvironment.h"

#include <csignal>
#include <cstdio>

#include "hardware/LibusbBackend.h"
#include "platform/SignalSource.h"
#include "platform/XDGPaths.h"

namespace corvane {

DiagEnvironment DiagEnvironment::system(Arguments arguments) {
    DiagEnvironment environment;
    environment.arguments = std::move(arguments);
    environment.midi = MIDIBackend::system();
    environment.usb = [backend = std::shared_ptr<USBBackend>()]() mutable {
        if (!backend) backend = std::make_shared<LibusbBackend>();
        return backend;
    };
    environment.usbListing = listAbletonUSBDevices;
    // Standard output is line-buffered, so each line leaves as it ends.
    environment.output = [](std::string_view text) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fputc('\n', stdout);
    };
    environment.dataDirectory = XDGPaths::corvaneDataDirectory();
    environment.catchInterrupt = [](std::function<void()> handler) -> std::shared_ptr<void> {
        return std::make_shared<SignalSource>(SIGINT, std::move(handler));
    };
    return environment;
}

}  // namespace corvane
