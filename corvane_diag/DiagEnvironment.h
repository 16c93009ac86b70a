#pragma once
// The platform pieces a command works with, handed in so that tests can run commands in process
// against simulated MIDI and USB systems.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "corvane_diag/Arguments.h"
#include "corvane_diag/USBListing.h"
#include "hardware/MIDIBackend.h"
#include "hardware/USBBackend.h"

namespace corvane {

class CommandRun;

struct DiagEnvironment {
    // Takes one printed line (or, for the usage text, several) without its final line end.
    using Output = std::function<void(std::string_view text)>;
    // Calls the handler on the main queue for each Ctrl-C for as long as the returned object lives.
    using InterruptCatcher = std::function<std::shared_ptr<void>(std::function<void()> handler)>;

    Arguments arguments;
    std::shared_ptr<MIDIBackend> midi;
    // Made when a command first needs it.
    std::function<std::shared_ptr<USBBackend>()> usb;
    // Fails with USBListingError when the USB system cannot be asked.
    std::function<std::vector<USBDeviceRecord>()> usbListing;
    Output output;
    // Where the velocity-curve backup lives.
    std::filesystem::path dataDirectory;
    InterruptCatcher catchInterrupt;
    // Called as a command starts waiting on the main queue (tests end endless commands with it).
    std::function<void(CommandRun&)> started;
    // Every wait and time-out is this many times its nominal length (tests shorten them).
    double timeScale = 1.0;

    // The program's own: the ALSA sequencer, libusb, standard output, the user's data folder and
    // SIGINT.
    static DiagEnvironment system(Arguments arguments);
};

}  // namespace corvane
