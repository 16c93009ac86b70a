#include "tests/support/SimulatedPush3.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <tuple>

#include "core/MIDIStreamParser.h"
#include "core/PadColors.h"
#include "core/PushInputDecoder.h"
#include "core/Router.h"
#include "platform/MainQueue.h"

namespace corvane {

namespace {

// Universal non-real-time identity messages.
constexpr std::uint8_t universalNonRealtime = 0x7E;
constexpr std::uint8_t allCall = 0x7F;
constexpr std::uint8_t generalInformation = 0x06;
constexpr std::uint8_t identityRequest = 0x01;
constexpr std::uint8_t identityReplyID = 0x02;

constexpr std::uint8_t pressedValue = 127;
constexpr std::uint8_t touchedVelocity = 127;
constexpr std::uint8_t audioInput1 = 0x1A;
constexpr std::uint8_t audioInput2 = 0x1B;

void appendPair(Bytes& body, int value) {
    const int v = std::clamp(value, 0, 255);
    body.push_back(static_cast<std::uint8_t>(v & 0x7F));
    body.push_back(static_cast<std::uint8_t>(v >> 7));
}

int pairValue(std::uint8_t lo, std::uint8_t hi) { return (lo | hi << 7) & 0xFF; }

std::uint8_t encoderValue(int delta) { return static_cast<std::uint8_t>(std::clamp(delta, -64, 63) & 0x7F); }

std::uint8_t index7(int index) { return static_cast<std::uint8_t>(std::clamp(index, 0, 7)); }

}  // namespace

struct SimulatedPush3::State {
    // An LED and the layer it is on: (isNote, number, channel).
    using LEDKey = std::tuple<bool, std::uint8_t, std::uint8_t>;

    std::shared_ptr<SimulatedMIDISystem> system;
    mutable std::mutex lock;  // before the system's own; never held while the system calls us

    SimulatedMIDISystem::Device device{};
    SimulatedMIDISystem::Device userPort{};
    SimulatedMIDISystem::Device lastDevice{};  // where plugging back puts it
    SimulatedMIDISystem::Device lastUserPort{};
    PortNaming naming = PortNaming::jacks;
    bool plugged = false;
    std::int32_t uniqueID = 0;
    unsigned generation = 0;  // counts plugs, so a late run meant for an old plug is ignored
    MIDIStreamParser parser;

    Bytes identity = defaultIdentityReply();
    bool answers = true;
    std::optional<std::size_t> answersLeft;  // none: no limit
    bool takesWrites = true;
    int ledBrightness = 127;
    int displayBrightness = 255;
    std::uint8_t aftertouch = static_cast<std::uint8_t>(rawValue(AftertouchMode::poly));
    std::array<std::uint8_t, 2> preamps{static_cast<std::uint8_t>(rawValue(Preamp::line)),
                                        static_cast<std::uint8_t>(rawValue(Preamp::line))};
    std::array<std::uint8_t, 128> curve{};
    std::array<PushSysEx::PaletteEntry, 128> palette{};
    std::array<PushSysEx::PaletteEntry, 128> shown{};
    int reapplies = 0;

    std::map<LEDKey, std::uint8_t> leds;

    std::vector<MIDIMessage> received;
    std::vector<Bytes> sent;

    State() {
        for (std::size_t i = 0; i < curve.size(); ++i) curve[i] = static_cast<std::uint8_t>(std::max<std::size_t>(i, 1));
        resetPalette();
    }

    void resetPalette() {
        for (int i = 0; i < 128; ++i) palette[i] = shown[i] = factoryPaletteEntry(static_cast<std::uint8_t>(i));
    }

    // Under `lock`.
    void emit(Bytes bytes) {
        if (!plugged) return;
        sent.push_back(bytes);
        system->inject(device.source, std::move(bytes));
    }

    // Under `lock`: one run that arrived at the destination of plug `plugGeneration`.
    void receive(unsigned plugGeneration, std::span<const std::uint8_t> bytes) {
        if (!plugged || plugGeneration != generation) return;
        std::vector<MIDIMessage> messages;
        parser.feed(bytes, [&](const MIDIMessage& message) { messages.push_back(message); });
        for (auto& message : messages) {
            handle(message);
            received.push_back(std::move(message));
        }
    }

    void setLED(bool isNote, std::uint8_t number, std::uint8_t channel, std::uint8_t value) {
        if (channel == 0) {
            // A steady value ends the LED's animations.
            std::erase_if(leds, [&](const auto& entry) {
                const auto& [note, n, c] = entry.first;
                return note == isNote && n == number && c != 0;
            });
        }
        leds[{isNote, number, channel}] = value;
    }

    void handle(const MIDIMessage& message) {
        if (const auto* m = message.as<MIDIMessage::NoteOn>()) {
            setLED(true, m->note, m->channel, m->velocity);
        } else if (const auto* m = message.as<MIDIMessage::NoteOff>()) {
            setLED(true, m->note, m->channel, 0);
        } else if (const auto* m = message.as<MIDIMessage::ControlChange>()) {
            setLED(false, m->controller, m->channel, m->value);
        } else if (const auto* m = message.as<MIDIMessage::Sysex>()) {
            if (auto body = PushSysEx::body(m->bytes)) {
                command(*body);
            } else {
                identityQuery(m->bytes);
            }
        }
    }

    void identityQuery(const Bytes& bytes) {
        const bool isRequest = bytes.size() == 6 && bytes[1] == universalNonRealtime &&
                               (bytes[2] == allCall || bytes[2] == deviceID) && bytes[3] == generalInformation &&
                               bytes[4] == identityRequest;
        if (isRequest && answering()) emit(identity);
    }

    void reply(const Bytes& body) {
        if (answering()) emit(PushSysEx::message(body));
    }

    // Whether this query gets its answer; counts it against a limit.
    bool answering() {
        if (!answers) return false;
        if (answersLeft) {
            if (*answersLeft == 0) {
                answers = false;
                answersLeft.reset();
                return false;
            }
            --*answersLeft;
        }
        return true;
    }

    static bool isQuery(std::uint8_t command) {
        return command == PushSysEx::getPaletteEntry || command == PushSysEx::getLEDBrightness ||
               command == PushSysEx::getDisplayBrightness || command == PushSysEx::getAftertouchMode ||
               command == PushSysEx::getVelocityCurveEntry;
    }

    void command(const Bytes& body) {
        if (!takesWrites && !isQuery(body[0])) return;
        const std::size_t n = body.size();
        switch (body[0]) {
        case PushSysEx::setPaletteEntry:
            if (n >= 10) {
                palette[body[1] & 0x7F] = {.index = static_cast<std::uint8_t>(body[1] & 0x7F),
                                           .red = pairValue(body[2], body[3]),
                                           .green = pairValue(body[4], body[5]),
                                           .blue = pairValue(body[6], body[7]),
                                           .white = pairValue(body[8], body[9])};
            }
            break;
        case PushSysEx::getPaletteEntry:
            if (n >= 2) {
                const auto& entry = palette[body[1] & 0x7F];
                Bytes out{PushSysEx::getPaletteEntry, entry.index};
                for (int channel : {entry.red, entry.green, entry.blue, entry.white}) appendPair(out, channel);
                reply(out);
            }
            break;
        case PushSysEx::reapplyPalette:
            shown = palette;
            ++reapplies;
            break;
        case PushSysEx::setLEDBrightness:
            if (n >= 2) ledBrightness = body[1];
            break;
        case PushSysEx::getLEDBrightness:
            reply({PushSysEx::getLEDBrightness, static_cast<std::uint8_t>(ledBrightness)});
            break;
        case PushSysEx::setDisplayBrightness:
            if (n >= 3) displayBrightness = pairValue(body[1], body[2]);
            break;
        case PushSysEx::getDisplayBrightness: {
            Bytes out{PushSysEx::getDisplayBrightness};
            appendPair(out, displayBrightness);
            reply(out);
            break;
        }
        case PushSysEx::setAftertouchMode:
            if (n >= 2 && aftertouchModeFromRaw(body[1])) aftertouch = body[1];
            break;
        case PushSysEx::getAftertouchMode:
            reply({PushSysEx::getAftertouchMode, aftertouch});
            break;
        case PushSysEx::setVelocityCurveEntries:
            if (n >= 2) {
                for (std::size_t i = 2; i < n && body[1] + (i - 2) < curve.size(); ++i)
                    curve[body[1] + (i - 2)] = body[i];
            }
            break;
        case PushSysEx::getVelocityCurveEntry:
            if (n >= 2) reply({PushSysEx::getVelocityCurveEntry, body[1], curve[body[1] & 0x7F]});
            break;
        case PushSysEx::audioInterface:
            if (n >= 3 && preampFromRaw(body[2])) {
                if (body[1] == audioInput1) preamps[0] = body[2];
                if (body[1] == audioInput2) preamps[1] = body[2];
            }
            break;
        default:
            break;
        }
    }

    std::uint8_t ledValue(bool isNote, std::uint8_t number, std::uint8_t channel) const {
        auto found = leds.find({isNote, number, channel});
        return found == leds.end() ? 0 : found->second;
    }
};

SimulatedPush3::SimulatedPush3(std::shared_ptr<SimulatedMIDISystem> system, bool plugged,
                               std::optional<std::int32_t> uniqueID)
    : state_(std::make_shared<State>()) {
    state_->system = std::move(system);
    if (plugged) plug(uniqueID);
}

SimulatedPush3::~SimulatedPush3() { unplug(); }

// ---- plugging

void SimulatedPush3::plug(std::optional<std::int32_t> uniqueID) { plugIn(uniqueID, false); }

void SimulatedPush3::plugBack(std::optional<std::int32_t> uniqueID) { plugIn(uniqueID, true); }

void SimulatedPush3::plugIn(std::optional<std::int32_t> uniqueID, bool back) {
    std::lock_guard guard(state_->lock);
    State& s = *state_;
    if (s.plugged) return;
    if (back && s.lastDevice.source == 0) throw std::logic_error("plugged back before it was ever plugged");
    const bool jacks = s.naming == PortNaming::jacks;
    const std::string live = jacks ? portName : genericPortName;
    const std::string user = jacks ? userPortName : genericUserPortName;
    s.device = back ? s.system->addDevice(live, s.lastDevice, uniqueID) : s.system->addDevice(live, uniqueID);
    s.userPort = back ? s.system->addDevice(user, s.lastUserPort) : s.system->addDevice(user);
    s.lastDevice = s.device;
    s.lastUserPort = s.userPort;
    for (const auto& source : s.system->sources()) {
        if (source.ref == s.device.source) s.uniqueID = source.uniqueID.value_or(0);
    }
    s.plugged = true;
    s.parser = MIDIStreamParser();
    const unsigned generation = ++s.generation;
    std::weak_ptr<State> weak = state_;
    s.system->setReceiver(s.device.destination, [weak, generation](std::span<const std::uint8_t> bytes) {
        auto state = weak.lock();
        if (!state) return;
        std::lock_guard guard(state->lock);
        state->receive(generation, bytes);
    });
}

void SimulatedPush3::unplug() {
    std::lock_guard guard(state_->lock);
    State& s = *state_;
    if (!s.plugged) return;
    s.plugged = false;
    s.system->remove(s.device);
    s.system->remove(s.userPort);
    s.device = {};
    s.userPort = {};
    s.leds.clear();
    s.resetPalette();
}

bool SimulatedPush3::isPlugged() const {
    std::lock_guard guard(state_->lock);
    return state_->plugged;
}

SimulatedMIDISystem::Device SimulatedPush3::device() const {
    std::lock_guard guard(state_->lock);
    return state_->device;
}

SimulatedMIDISystem::Device SimulatedPush3::userPort() const {
    std::lock_guard guard(state_->lock);
    return state_->userPort;
}

void SimulatedPush3::setPortNaming(PortNaming naming) {
    std::lock_guard guard(state_->lock);
    state_->naming = naming;
}

std::int32_t SimulatedPush3::uniqueID() const {
    std::lock_guard guard(state_->lock);
    return state_->uniqueID;
}

// ---- controls

void SimulatedPush3::send(const MIDIMessage& message) { send(message.bytes()); }

void SimulatedPush3::send(Bytes bytes) {
    std::lock_guard guard(state_->lock);
    state_->emit(std::move(bytes));
}

void SimulatedPush3::pressPad(int row, int column, std::uint8_t velocity) {
    send(MIDIMessage::noteOn(PushMIDIMap::liveChannel, PushInputDecoder::padNote(index7(row), index7(column)),
                             velocity));
}

void SimulatedPush3::releasePad(int row, int column) {
    send(MIDIMessage::noteOff(PushMIDIMap::liveChannel, PushInputDecoder::padNote(index7(row), index7(column)), 0));
}

void SimulatedPush3::padPressure(int row, int column, std::uint8_t pressure) {
    send(MIDIMessage::polyPressure(PushMIDIMap::liveChannel,
                                   PushInputDecoder::padNote(index7(row), index7(column)), pressure));
}

void SimulatedPush3::channelPressure(std::uint8_t pressure) {
    send(MIDIMessage::channelPressure(PushMIDIMap::liveChannel, pressure));
}

namespace {

MIDIMessage turn(std::uint8_t controller, int delta) {
    return MIDIMessage::controlChange(PushMIDIMap::liveChannel, controller, encoderValue(delta));
}

MIDIMessage touch(std::uint8_t note, bool touched) {
    return MIDIMessage::noteOn(PushMIDIMap::liveChannel, note, touched ? touchedVelocity : 0);
}

MIDIMessage press(std::uint8_t controller, bool pressed) {
    return MIDIMessage::controlChange(PushMIDIMap::liveChannel, controller, pressed ? pressedValue : 0);
}

}  // namespace

void SimulatedPush3::turnEncoder(int index, int delta) {
    send(turn(PushMIDIMap::trackEncoderCCs.lower + index7(index), delta));
}

void SimulatedPush3::touchEncoder(int index, bool touched) {
    send(touch(PushMIDIMap::trackEncoderTouchNotes.lower + index7(index), touched));
}

void SimulatedPush3::turnVolumeEncoder(int delta) { send(turn(PushMIDIMap::volumeEncoderCC, delta)); }
void SimulatedPush3::touchVolumeEncoder(bool touched) { send(touch(PushMIDIMap::volumeEncoderTouchNote, touched)); }
void SimulatedPush3::turnTempoEncoder(int delta) { send(turn(PushMIDIMap::tempoEncoderCC, delta)); }
void SimulatedPush3::touchTempoEncoder(bool touched) { send(touch(PushMIDIMap::tempoEncoderTouchNote, touched)); }
void SimulatedPush3::turnJogWheel(int delta) { send(turn(PushMIDIMap::jogWheelCC, delta)); }
void SimulatedPush3::touchJogWheel(bool touched) { send(touch(PushMIDIMap::jogWheelTouchNote, touched)); }

void SimulatedPush3::pressButton(PushMIDIMap::Button button) { send(press(PushMIDIMap::controller(button), true)); }

void SimulatedPush3::releaseButton(PushMIDIMap::Button button) {
    send(press(PushMIDIMap::controller(button), false));
}

void SimulatedPush3::pressSceneButton(int index) {
    send(press(PushMIDIMap::sceneButtonCCs.upper - index7(index), true));
}

void SimulatedPush3::releaseSceneButton(int index) {
    send(press(PushMIDIMap::sceneButtonCCs.upper - index7(index), false));
}

void SimulatedPush3::pressUpperDisplayButton(int index) {
    send(press(PushMIDIMap::upperDisplayButtonCCs.lower + index7(index), true));
}

void SimulatedPush3::releaseUpperDisplayButton(int index) {
    send(press(PushMIDIMap::upperDisplayButtonCCs.lower + index7(index), false));
}

void SimulatedPush3::pressLowerDisplayButton(int index) {
    send(press(PushMIDIMap::lowerDisplayButtonCCs.lower + index7(index), true));
}

void SimulatedPush3::releaseLowerDisplayButton(int index) {
    send(press(PushMIDIMap::lowerDisplayButtonCCs.lower + index7(index), false));
}

void SimulatedPush3::touchStrip(std::uint16_t value) {
    send(MIDIMessage::pitchBend(PushMIDIMap::liveChannel, std::min<std::uint16_t>(value, 16383)));
}

void SimulatedPush3::touchStripTouch(bool touched) { send(touch(PushMIDIMap::touchStripTouchNote, touched)); }
void SimulatedPush3::touchDpadCentre(bool touched) { send(touch(PushMIDIMap::dpadCentreTouchNote, touched)); }
void SimulatedPush3::pedal(bool down) { send(press(Router::sustainPedalCC, down)); }

// ---- what it holds

Bytes SimulatedPush3::defaultIdentityReply() {
    // Made up, though shaped like the real thing: Ableton's manufacturer ID, then family, member,
    // firmware 1.5 and build 300 (low seven bits first).
    return {0xF0, universalNonRealtime, deviceID, generalInformation, identityReplyID,
            0x00, 0x21, 0x1D,  // manufacturer
            0x01, 0x00,        // family
            0x03, 0x00,        // member
            0x01, 0x05,        // firmware major, minor
            0x2C, 0x02,        // build
            0xF7};
}

Bytes SimulatedPush3::identityReply() const {
    std::lock_guard guard(state_->lock);
    return state_->identity;
}

void SimulatedPush3::setIdentityReply(Bytes reply) {
    std::lock_guard guard(state_->lock);
    state_->identity = std::move(reply);
}

void SimulatedPush3::setAnswersQueries(bool answers) {
    std::lock_guard guard(state_->lock);
    state_->answers = answers;
    state_->answersLeft.reset();
}

void SimulatedPush3::setTakesWrites(bool takes) {
    std::lock_guard guard(state_->lock);
    state_->takesWrites = takes;
}

void SimulatedPush3::answerQueries(std::size_t count) {
    std::lock_guard guard(state_->lock);
    state_->answers = true;
    state_->answersLeft = count;
}

int SimulatedPush3::ledBrightness() const {
    std::lock_guard guard(state_->lock);
    return state_->ledBrightness;
}

void SimulatedPush3::setLEDBrightness(int value) {
    std::lock_guard guard(state_->lock);
    state_->ledBrightness = std::clamp(value, 0, 127);
}

int SimulatedPush3::displayBrightness() const {
    std::lock_guard guard(state_->lock);
    return state_->displayBrightness;
}

void SimulatedPush3::setDisplayBrightness(int value) {
    std::lock_guard guard(state_->lock);
    state_->displayBrightness = std::clamp(value, 0, 255);
}

std::uint8_t SimulatedPush3::aftertouchMode() const {
    std::lock_guard guard(state_->lock);
    return state_->aftertouch;
}

void SimulatedPush3::setAftertouchMode(AftertouchMode mode) {
    setAftertouchModeRaw(static_cast<std::uint8_t>(rawValue(mode)));
}

void SimulatedPush3::setAftertouchModeRaw(std::uint8_t raw) {
    std::lock_guard guard(state_->lock);
    state_->aftertouch = raw & 0x7F;
}

std::uint8_t SimulatedPush3::preamp(int input) const {
    std::lock_guard guard(state_->lock);
    return state_->preamps.at(static_cast<std::size_t>(input));
}

std::array<std::uint8_t, 128> SimulatedPush3::velocityCurve() const {
    std::lock_guard guard(state_->lock);
    return state_->curve;
}

void SimulatedPush3::setVelocityCurve(const std::array<std::uint8_t, 128>& curve) {
    std::lock_guard guard(state_->lock);
    state_->curve = curve;
}

PushSysEx::PaletteEntry SimulatedPush3::factoryPaletteEntry(std::uint8_t index) {
    // Made up: the colours the system names, and a spread of others.
    index &= 0x7F;
    switch (index) {
    case PushColor::off: return {index, 0, 0, 0, 0};
    case PushColor::white: return {index, 255, 255, 255, 255};
    case 123: return {index, 160, 160, 160, 128};  // light grey
    case 124: return {index, 48, 48, 48, 32};      // dark grey
    case PushColor::blue: return {index, 0, 64, 255, 0};
    case PushColor::green: return {index, 0, 255, 32, 0};
    case PushColor::red: return {index, 255, 0, 0, 0};
    default: return {index, (index * 53) & 0xFF, (index * 97) & 0xFF, (index * 29) & 0xFF, (index * 7) & 0xFF};
    }
}

PushSysEx::PaletteEntry SimulatedPush3::paletteEntry(std::uint8_t index) const {
    std::lock_guard guard(state_->lock);
    return state_->palette.at(index);
}

PushSysEx::PaletteEntry SimulatedPush3::shownPaletteEntry(std::uint8_t index) const {
    std::lock_guard guard(state_->lock);
    return state_->shown.at(index);
}

void SimulatedPush3::setPaletteEntry(const PushSysEx::PaletteEntry& entry) {
    std::lock_guard guard(state_->lock);
    auto& slot = state_->palette.at(entry.index);
    slot = entry;
    state_->shown.at(entry.index) = slot;
}

int SimulatedPush3::reapplyCount() const {
    std::lock_guard guard(state_->lock);
    return state_->reapplies;
}

// ---- LEDs

std::uint8_t SimulatedPush3::ledCC(std::uint8_t controller, std::uint8_t channel) const {
    std::lock_guard guard(state_->lock);
    return state_->ledValue(false, controller, channel);
}

std::uint8_t SimulatedPush3::ledNote(std::uint8_t note, std::uint8_t channel) const {
    std::lock_guard guard(state_->lock);
    return state_->ledValue(true, note, channel);
}

std::uint8_t SimulatedPush3::led(const LEDTarget& target, std::uint8_t channel) const {
    if (const auto* cc = target.as<LEDTarget::CC>()) return ledCC(cc->number, channel);
    return ledNote(target.as<LEDTarget::Note>()->number, channel);
}

std::uint8_t SimulatedPush3::ledButton(PushMIDIMap::Button button, std::uint8_t channel) const {
    return ledCC(PushMIDIMap::controller(button), channel);
}

std::uint8_t SimulatedPush3::ledPad(int row, int column, std::uint8_t channel) const {
    return ledNote(PushInputDecoder::padNote(index7(row), index7(column)), channel);
}

std::uint8_t SimulatedPush3::ledSceneButton(int index, std::uint8_t channel) const {
    return ledCC(static_cast<std::uint8_t>(PushMIDIMap::sceneButtonCCs.upper - index7(index)), channel);
}

std::vector<SimulatedPush3::LED> SimulatedPush3::litLEDs() const {
    std::lock_guard guard(state_->lock);
    std::vector<LED> lit;
    for (const auto& [key, value] : state_->leds) {
        const auto& [isNote, number, channel] = key;
        if (value != 0) lit.push_back({isNote, number, channel, value});
    }
    return lit;
}

// ---- records

std::vector<MIDIMessage> SimulatedPush3::received() const {
    std::lock_guard guard(state_->lock);
    return state_->received;
}

std::size_t SimulatedPush3::receivedCount() const {
    std::lock_guard guard(state_->lock);
    return state_->received.size();
}

std::vector<Bytes> SimulatedPush3::receivedSysex() const {
    std::lock_guard guard(state_->lock);
    std::vector<Bytes> result;
    for (const auto& message : state_->received) {
        if (const auto* sysex = message.as<MIDIMessage::Sysex>()) result.push_back(sysex->bytes);
    }
    return result;
}

std::vector<Bytes> SimulatedPush3::commandsReceived() const {
    std::vector<Bytes> result;
    for (const auto& bytes : receivedSysex()) {
        if (auto body = PushSysEx::body(bytes)) result.push_back(std::move(*body));
    }
    return result;
}

std::vector<Bytes> SimulatedPush3::sent() const {
    std::lock_guard guard(state_->lock);
    return state_->sent;
}

void SimulatedPush3::clearReceived() {
    std::lock_guard guard(state_->lock);
    state_->received.clear();
    state_->sent.clear();
}

// ---- waiting

bool SimulatedPush3::waitForMessages(std::size_t count, std::chrono::milliseconds timeout) {
    return waitUntil([&] { return receivedCount() >= count; }, timeout);
}

bool SimulatedPush3::waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    return MainQueue::pumpUntil(condition, timeout);
}

}  // namespace corvane
