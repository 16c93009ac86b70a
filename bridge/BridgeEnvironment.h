#pragma once
// What the bridge runs on: the MIDI service, the USB bus, the settings store and the log. The
// program hands in the machine's own; tests hand in simulations and a store of their own.

#include <memory>

#include "core/Log.h"
#include "hardware/MIDIBackend.h"
#include "hardware/USBBackend.h"
#include "platform/SettingsStore.h"

namespace corvane {

struct BridgeEnvironment {
    std::shared_ptr<MIDIBackend> midi;
    std::shared_ptr<USBBackend> usb;
    std::shared_ptr<SettingsStore> settings;
    // Must outlive the bridge; Log::shared() when absent.
    Log* log = nullptr;

    // The ALSA sequencer, libusb, the user defaults and the shared log. Never throws: a machine
    // without a sequencer fails later, when the bridge makes its MIDI client.
    static BridgeEnvironment system();
};

}  // namespace corvane
