#pragma once
// The Cubase script on the simulated MIDI system, as another application: it reads the bridge's
// virtual sources "Corvane" and "Corvane Notes" and writes to its virtual destination "Corvane",
// speaks the script's side of the bridge protocol, keeps the state it has sent so that it can
// answer a resync request with all of it, and records everything the bridge sends it.
//
// It may be made before or after the bridge: it binds the ports by name when made, after every
// set-up change (on the main queue) and before every send, and follows a new bridge's ports.
// Like any application that subscribes after a port appears, it misses what the bridge sent
// before; `sentByBridge()` reads those from the system's record. Thread-safe; what it receives is
// handled on the system's delivery thread (a resync request is answered there, at once).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/BridgeMessage.h"
#include "core/HostMessage.h"
#include "core/MIDIMessage.h"
#include "core/StateKey.h"
#include "tests/support/SimulatedMIDISystem.h"

namespace corvane {

class SimulatedCubaseScript {
public:
    static constexpr const char* controlPortName = "Corvane";
    static constexpr const char* notesPortName = "Corvane Notes";

    explicit SimulatedCubaseScript(std::shared_ptr<SimulatedMIDISystem> system);
    // Leaves without a goodbye (as a crashed host would); call goodbye() first for a clean exit.
    ~SimulatedCubaseScript();
    SimulatedCubaseScript(const SimulatedCubaseScript&) = delete;
    SimulatedCubaseScript& operator=(const SimulatedCubaseScript&) = delete;

    // ---- Speaking. Each sends one frame to the bridge's "Corvane" destination now and returns
    // whether there was one (without, the frame is lost, as it would be). Set and clear messages
    // are kept as the script's state whether or not they arrive.

    bool hello(const std::string& version = "1.0.0");
    bool setString(StateKey key, std::string text);
    bool setNumber(StateKey key, std::int64_t value);
    bool setFlag(StateKey key, bool on);  // a number, 1 or 0
    bool setColor(StateKey key, RGB color);
    bool clearObject(std::uint8_t object);
    bool log(std::uint8_t level, std::string text);
    bool heartbeat();
    bool goodbye();
    bool send(const HostMessage& message);
    // Anything else: channel messages for the Push, foreign or broken frames. One packet.
    bool send(const MIDIMessage& message);
    bool sendBytes(Bytes bytes);

    // Sends every kept state message again, in key order; returns how many were sent.
    std::size_t resync();
    // The kept state: the last set message of every key not cleared since, in key order.
    std::vector<HostMessage> state() const;
    void forgetState();

    // Answer every requestResync with resync() (on by default).
    void setAnswersResync(bool answers);
    int resyncsAnswered() const;

    // A heartbeat every `interval` from a main-queue timer (it runs while the main queue is
    // pumped); the first one interval from now.
    void startHeartbeat(std::chrono::milliseconds interval = std::chrono::seconds(1));
    void stopHeartbeat();
    int heartbeatsSent() const;

    // Every message it sent (or tried to), in order.
    std::vector<HostMessage> sent() const;

    // ---- Hearing.

    // Protocol frames received on "Corvane", decoded.
    std::vector<BridgeMessage> messages() const;
    // Frames of the protocol that did not decode, as received.
    std::vector<Bytes> refusedFrames() const;
    // Everything else received on "Corvane": the controls the bridge forwards from the Push.
    std::vector<MIDIMessage> controls() const;
    // Everything received on "Corvane Notes".
    std::vector<MIDIMessage> notes() const;
    // The notes on "Corvane Notes" that are on now (a note-on with velocity 0 ends one), as
    // (channel, note), in order.
    std::vector<std::pair<std::uint8_t, std::uint8_t>> heldNotes() const;
    void clearReceived();
    // Every protocol frame the current "Corvane" source has sent, whether or not anyone was
    // reading, decoded (from the system's record of packets).
    std::vector<BridgeMessage> sentByBridge() const;

    // The bridge's "Corvane" source and destination are bound, and so is "Corvane Notes".
    bool isConnected() const;
    // Binds again by name now.
    void refresh();

    // ---- Waiting, on the main thread: pumps the main queue until the condition holds; false
    // after `timeout`.

    bool waitForMessages(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    bool waitForControls(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    bool waitForNotes(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Until a message equal to `message` has been received.
    bool waitFor(const BridgeMessage& message, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    bool waitUntil(const std::function<bool()>& condition,
                   std::chrono::milliseconds timeout = std::chrono::seconds(5));

    struct State;

private:
    std::shared_ptr<State> state_;
};

}  // namespace corvane
