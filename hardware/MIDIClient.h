#pragma once
// The program's connection to the MIDI service, which tells its observers when the MIDI set-up
// changes (a device or an application's port comes, goes or is renamed) and when received
// messages were lost.

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "hardware/MIDIBackend.h"

namespace corvane {

class MIDIClient {
public:
    // Fails with MIDIError ("MIDIClientCreate").
    explicit MIDIClient(const std::string& name,
                        std::shared_ptr<MIDIBackend> backend = MIDIBackend::system());
    ~MIDIClient();
    MIDIClient(const MIDIClient&) = delete;
    MIDIClient& operator=(const MIDIClient&) = delete;

    MIDIRef ref() const { return ref_; }
    MIDIBackend& backend() const { return *backend_; }

    // Observers run on the main queue, in registration order, after each set-up change, and
    // after input was lost (below).
    void onSetupChanged(std::function<void()> observer);
    // Observers run on the receive thread, in registration order, when the system threw away
    // what was queued for this client (on any of its ports): in order with the receive
    // callbacks, after what came before the loss and before what comes after it. Announcements
    // of set-up changes may have been among it: a device that left and came back meanwhile
    // may look as if it never went.
    void onInputLost(std::function<void()> observer);

private:
    struct Observers {
        std::mutex lock;
        std::vector<std::function<void()>> list;
        void notify();
    };

    std::shared_ptr<MIDIBackend> backend_;
    std::shared_ptr<Observers> observers_ = std::make_shared<Observers>();
    std::shared_ptr<Observers> inputLostObservers_ = std::make_shared<Observers>();
    MIDIRef ref_ = 0;
};

}  // namespace corvane
