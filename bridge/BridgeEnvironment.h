#pragma once
// What the bridge runs on: the MIDI service, the USB bus, the settings store, the log and the
// note-repeat thread's scheduling. The program hands in the machine's own; tests hand in
// simulations and a store of their own.

#include <functional>
#include <memory>

#include "core/Log.h"
#include "hardware/MIDIBackend.h"
#include "hardware/USBBackend.h"
#include "platform/RealtimeThread.h"
#include "platform/SettingsStore.h"

namespace corvane {

struct BridgeEnvironment {
    std::shared_ptr<MIDIBackend> midi;
    std::shared_ptr<USBBackend> usb;
    std::shared_ptr<SettingsStore> settings;
    // Must outlive the bridge; Log::shared() when absent.
    Log* log = nullptr;
    // Runs on the note-repeat thread as it starts, and the bridge logs what it got. The program
    // asks for real-time scheduling; when absent (tests) the thread runs as it is.
    std::function<RealtimeGrant()> promoteRepeatThread;

    // The ALSA sequencer, libusb, the user defaults, the shared log and real-time scheduling
    // where the machine grants it. Never throws: a machine without a sequencer fails later, when
    // the bridge makes its MIDI client.
    static BridgeEnvironment system();
};

}  // namespace corvane
