#include "tests/support/SimulatedCubaseScript.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <set>

#include "core/BridgeCodec.h"
#include "core/MIDIStreamParser.h"
#include "platform/MainQueue.h"
#include "platform/RepeatingTimer.h"

namespace corvane {

namespace {

constexpr std::int64_t sysexLimit = 0x10000;

}  // namespace

struct SimulatedCubaseScript::State {
    std::shared_ptr<SimulatedMIDISystem> system;
    mutable std::mutex lock;  // before the system's own; never held while the system calls us

    MIDIRef client = 0;
    MIDIRef controlIn = 0;
    MIDIRef notesIn = 0;
    MIDIRef out = 0;
    std::optional<MIDIRef> controlSource;
    std::optional<MIDIRef> notesSource;
    MIDIStreamParser controlParser{sysexLimit};
    MIDIStreamParser notesParser{sysexLimit};

    std::map<StateKey, HostMessage> kept;
    bool answersResync = true;
    int resyncs = 0;
    RepeatingTimer heartbeatTimer;
    int heartbeats = 0;
    std::vector<HostMessage> sentMessages;

    std::vector<BridgeMessage> messages;
    std::vector<Bytes> refused;
    std::vector<MIDIMessage> controls;
    std::vector<MIDIMessage> notes;

    // Under `lock`: reads `port` from `source` when that is not already the bound one.
    void bind(MIDIRef port, std::optional<MIDIRef>& bound, std::optional<MIDIRef> source, MIDIStreamParser& parser) {
        if (bound == source) return;
        if (bound) system->disconnectSource(port, *bound);
        if (source) system->connectSource(port, *source);
        bound = source;
        parser = MIDIStreamParser(sysexLimit);
    }

    // Under `lock`.
    void refresh() {
        bind(controlIn, controlSource, system->findSource(controlPortName), controlParser);
        bind(notesIn, notesSource, system->findSource(notesPortName), notesParser);
    }

    // Under `lock`.
    bool transmit(std::span<const std::uint8_t> bytes) {
        refresh();
        const auto destination = system->findDestination(controlPortName);
        if (!destination) return false;
        system->send(out, *destination, bytes);
        return true;
    }

    // Under `lock`.
    bool transmit(const HostMessage& message) {
        sentMessages.push_back(message);
        std::visit(
            [&](const auto& m) {
                using M = std::decay_t<decltype(m)>;
                if constexpr (std::is_same_v<M, HostMessage::SetString> ||
                              std::is_same_v<M, HostMessage::SetNumber> ||
                              std::is_same_v<M, HostMessage::SetColor>) {
                    kept.insert_or_assign(m.key, message);
                } else if constexpr (std::is_same_v<M, HostMessage::ClearObject>) {
                    std::erase_if(kept, [&](const auto& entry) { return entry.first.object == m.object; });
                }
            },
            message.value);
        if (message.is<HostMessage::Heartbeat>()) ++heartbeats;
        return transmit(BridgeCodec::encode(message));
    }

    // Under `lock`.
    std::size_t resync() {
        const auto all = kept;
        std::size_t count = 0;
        for (const auto& [key, message] : all) count += transmit(message) ? 1 : 0;
        return count;
    }

    // Under `lock`: one run from the "Corvane" source.
    void receiveControl(std::span<const std::uint8_t> bytes) {
        std::vector<MIDIMessage> received;
        controlParser.feed(bytes, [&](const MIDIMessage& message) { received.push_back(message); });
        for (auto& message : received) {
            const auto* sysex = message.as<MIDIMessage::Sysex>();
            if (sysex == nullptr || !BridgeCodec::isOurs(sysex->bytes)) {
                controls.push_back(std::move(message));
                continue;
            }
            auto decoded = BridgeCodec::decodeBridgeMessage(sysex->bytes);
            if (!decoded) {
                refused.push_back(sysex->bytes);
                continue;
            }
            messages.push_back(*decoded);
            if (decoded->is<BridgeMessage::RequestResync>() && answersResync) {
                ++resyncs;
                resync();
            }
        }
    }

    // Under `lock`: one run from the "Corvane Notes" source.
    void receiveNotes(std::span<const std::uint8_t> bytes) {
        notesParser.feed(bytes, [&](const MIDIMessage& message) { notes.push_back(message); });
    }
};

SimulatedCubaseScript::SimulatedCubaseScript(std::shared_ptr<SimulatedMIDISystem> system)
    : state_(std::make_shared<State>()) {
    State& s = *state_;
    s.system = std::move(system);
    std::weak_ptr<State> weak = state_;
    s.client = s.system->createClient(
        "Cubase",
        [weak] {
            if (auto state = weak.lock()) {
                std::lock_guard guard(state->lock);
                state->refresh();
            }
        },
        [weak] {
            if (auto state = weak.lock()) {
                // Half a message from before the loss must not swallow what follows it.
                std::lock_guard guard(state->lock);
                state->controlParser = MIDIStreamParser(sysexLimit);
                state->notesParser = MIDIStreamParser(sysexLimit);
            }
        });
    s.controlIn = s.system->createInputPort(s.client, "MIDI Remote in", [weak](std::span<const std::uint8_t> bytes) {
        if (auto state = weak.lock()) {
            std::lock_guard guard(state->lock);
            state->receiveControl(bytes);
        }
    });
    s.notesIn = s.system->createInputPort(s.client, "Notes in", [weak](std::span<const std::uint8_t> bytes) {
        if (auto state = weak.lock()) {
            std::lock_guard guard(state->lock);
            state->receiveNotes(bytes);
        }
    });
    s.out = s.system->createOutputPort(s.client, "MIDI Remote out");
    std::lock_guard guard(s.lock);
    s.refresh();
}

SimulatedCubaseScript::~SimulatedCubaseScript() {
    State& s = *state_;
    s.heartbeatTimer.cancel();
    // Not under `lock`: disposing a port waits for a delivery to it that is running.
    s.system->disposePort(s.controlIn);
    s.system->disposePort(s.notesIn);
    s.system->disposePort(s.out);
    s.system->disposeClient(s.client);
}

// ---- speaking

bool SimulatedCubaseScript::send(const HostMessage& message) {
    std::lock_guard guard(state_->lock);
    return state_->transmit(message);
}

bool SimulatedCubaseScript::hello(const std::string& version) { return send(HostMessage::hello(version)); }

bool SimulatedCubaseScript::setString(StateKey key, std::string text) {
    return send(HostMessage::setString(key, std::move(text)));
}

bool SimulatedCubaseScript::setNumber(StateKey key, std::int64_t value) {
    return send(HostMessage::setNumber(key, value));
}

bool SimulatedCubaseScript::setFlag(StateKey key, bool on) { return setNumber(key, on ? 1 : 0); }

bool SimulatedCubaseScript::setColor(StateKey key, RGB color) { return send(HostMessage::setColor(key, color)); }

bool SimulatedCubaseScript::clearObject(std::uint8_t object) { return send(HostMessage::clearObject(object)); }

bool SimulatedCubaseScript::log(std::uint8_t level, std::string text) {
    return send(HostMessage::log(level, std::move(text)));
}

bool SimulatedCubaseScript::heartbeat() { return send(HostMessage::heartbeat()); }

bool SimulatedCubaseScript::goodbye() { return send(HostMessage::goodbye()); }

bool SimulatedCubaseScript::send(const MIDIMessage& message) { return sendBytes(message.bytes()); }

bool SimulatedCubaseScript::sendBytes(Bytes bytes) {
    std::lock_guard guard(state_->lock);
    return state_->transmit(bytes);
}

std::size_t SimulatedCubaseScript::resync() {
    std::lock_guard guard(state_->lock);
    return state_->resync();
}

std::vector<HostMessage> SimulatedCubaseScript::state() const {
    std::lock_guard guard(state_->lock);
    std::vector<HostMessage> result;
    for (const auto& [key, message] : state_->kept) result.push_back(message);
    return result;
}

void SimulatedCubaseScript::forgetState() {
    std::lock_guard guard(state_->lock);
    state_->kept.clear();
}

void SimulatedCubaseScript::setAnswersResync(bool answers) {
    std::lock_guard guard(state_->lock);
    state_->answersResync = answers;
}

int SimulatedCubaseScript::resyncsAnswered() const {
    std::lock_guard guard(state_->lock);
    return state_->resyncs;
}

void SimulatedCubaseScript::startHeartbeat(std::chrono::milliseconds interval) {
    std::weak_ptr<State> weak = state_;
    auto timer = MainQueue::scheduleRepeating(interval, [weak] {
        if (auto state = weak.lock()) {
            std::lock_guard guard(state->lock);
            state->transmit(HostMessage::heartbeat());
        }
    });
    std::lock_guard guard(state_->lock);
    state_->heartbeatTimer = std::move(timer);
}

void SimulatedCubaseScript::stopHeartbeat() {
    RepeatingTimer timer;
    {
        std::lock_guard guard(state_->lock);
        timer = std::move(state_->heartbeatTimer);
    }
    timer.cancel();
}

int SimulatedCubaseScript::heartbeatsSent() const {
    std::lock_guard guard(state_->lock);
    return state_->heartbeats;
}

std::vector<HostMessage> SimulatedCubaseScript::sent() const {
    std::lock_guard guard(state_->lock);
    return state_->sentMessages;
}

// ---- hearing

std::vector<BridgeMessage> SimulatedCubaseScript::messages() const {
    std::lock_guard guard(state_->lock);
    return state_->messages;
}

std::vector<Bytes> SimulatedCubaseScript::refusedFrames() const {
    std::lock_guard guard(state_->lock);
    return state_->refused;
}

std::vector<MIDIMessage> SimulatedCubaseScript::controls() const {
    std::lock_guard guard(state_->lock);
    return state_->controls;
}

std::vector<MIDIMessage> SimulatedCubaseScript::notes() const {
    std::lock_guard guard(state_->lock);
    return state_->notes;
}

std::vector<std::pair<std::uint8_t, std::uint8_t>> SimulatedCubaseScript::heldNotes() const {
    std::set<std::pair<std::uint8_t, std::uint8_t>> held;
    for (const auto& message : notes()) {
        if (const auto* on = message.as<MIDIMessage::NoteOn>()) {
            if (on->velocity != 0) {
                held.insert({on->channel, on->note});
            } else {
                held.erase({on->channel, on->note});
            }
        } else if (const auto* off = message.as<MIDIMessage::NoteOff>()) {
            held.erase({off->channel, off->note});
        }
    }
    return {held.begin(), held.end()};
}

void SimulatedCubaseScript::clearReceived() {
    std::lock_guard guard(state_->lock);
    state_->messages.clear();
    state_->refused.clear();
    state_->controls.clear();
    state_->notes.clear();
}

std::vector<BridgeMessage> SimulatedCubaseScript::sentByBridge() const {
    std::vector<BridgeMessage> result;
    const auto source = state_->system->findSource(controlPortName);
    if (!source) return result;
    MIDIStreamParser parser(sysexLimit);
    for (const auto& run : state_->system->sentTo(*source)) {
        parser.feed(run, [&](const MIDIMessage& message) {
            const auto* sysex = message.as<MIDIMessage::Sysex>();
            if (sysex == nullptr) return;
            if (auto decoded = BridgeCodec::decodeBridgeMessage(sysex->bytes)) result.push_back(*decoded);
        });
    }
    return result;
}

bool SimulatedCubaseScript::isConnected() const {
    std::lock_guard guard(state_->lock);
    return state_->controlSource && state_->notesSource &&
           state_->system->findDestination(controlPortName).has_value();
}

void SimulatedCubaseScript::refresh() {
    std::lock_guard guard(state_->lock);
    state_->refresh();
}

// ---- waiting

bool SimulatedCubaseScript::waitForMessages(std::size_t count, std::chrono::milliseconds timeout) {
    return waitUntil([&] { return messages().size() >= count; }, timeout);
}

bool SimulatedCubaseScript::waitForControls(std::size_t count, std::chrono::milliseconds timeout) {
    return waitUntil([&] { return controls().size() >= count; }, timeout);
}

bool SimulatedCubaseScript::waitForNotes(std::size_t count, std::chrono::milliseconds timeout) {
    return waitUntil([&] { return notes().size() >= count; }, timeout);
}

bool SimulatedCubaseScript::waitFor(const BridgeMessage& message, std::chrono::milliseconds timeout) {
    return waitUntil(
        [&] {
            const auto all = messages();
            return std::find(all.begin(), all.end(), message) != all.end();
        },
        timeout);
}

bool SimulatedCubaseScript::waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    return MainQueue::pumpUntil(condition, timeout);
}

}  // namespace corvane
