#include "bridge/Bridge.h"

#include <limits>
#include <utility>

#include "bridge/Version.h"
#include "core/BridgeCodec.h"
#include "core/Hex.h"
#include "core/MIDIStreamParser.h"
#include "core/PadStore.h"
#include "core/PushInputDecoder.h"
#include "core/PushPreferencesStore.h"
#include "core/Router.h"
#include "hardware/PushPortNames.h"
#include "platform/Clock.h"
#include "platform/MainQueue.h"
#include "platform/Precondition.h"

namespace corvane {

namespace {

constexpr double distantPast = -std::numeric_limits<double>::infinity();
constexpr double keepAliveInterval = 0.25;

// The inputs a forwarded control also shows on the device: the encoder-touch table and the
// popups.
bool alsoShownLocally(const PushInput& input) {
    using Button = PushMIDIMap::Button;
    if (input.is<PushInput::TrackEncoderTouch>() || input.is<PushInput::VolumeEncoder>() ||
        input.is<PushInput::VolumeEncoderTouch>() || input.is<PushInput::TempoEncoder>() ||
        input.is<PushInput::TempoEncoderTouch>())
        return true;
    if (const auto* scene = input.as<PushInput::SceneButton>()) return scene->pressed;
    if (const auto* button = input.as<PushInput::Button>())
        return button->pressed && (button->button == Button::tapTempo || button->button == Button::volumePress);
    return false;
}

// Controls the device keeps for itself while a page of its own is up.
bool interceptedWhilePageShown(const PushInput& input) {
    return input.is<PushInput::TrackEncoder>() || input.is<PushInput::JogWheel>() ||
           input.is<PushInput::UpperDisplayButton>() || input.is<PushInput::LowerDisplayButton>();
}

// The last owner may let go on a receive or timer thread; the bridge is only ever torn down on
// the main queue, where its display monitor and timers live.
void destroy(Bridge* bridge) {
    if (MainQueue::isCurrent()) {
        delete bridge;
    } else {
        MainQueue::async([bridge] { delete bridge; });
    }
}

}  // namespace

std::shared_ptr<Bridge> Bridge::create(BridgeOptions options, BridgeEnvironment environment) {
    precondition(MainQueue::isCurrent(), "Bridge::create() called off the main queue");
    precondition(environment.midi && environment.usb && environment.settings,
                 "Bridge::create() needs a MIDI backend, a USB backend and a settings store");
    std::shared_ptr<Bridge> bridge(new Bridge(options, std::move(environment)), destroy);
    bridge->start();
    return bridge;
}

Bridge::Bridge(BridgeOptions options, BridgeEnvironment environment)
    : options_(options),
      log_(environment.log != nullptr ? *environment.log : Log::shared()),
      settings_(std::move(environment.settings)),
      midiBackend_(std::move(environment.midi)),
      promoteRepeatThread_(std::move(environment.promoteRepeatThread)),
      displayMonitor_(std::make_unique<USBDisplayMonitor>(displayProductID, std::move(environment.usb))),
      connectedAt_(distantPast),
      lastHeartbeat_(distantPast) {}

Bridge::~Bridge() {
    // Nothing may call in any more: the timers, the display monitor and the ports go first.
    watchdog_.cancel();
    replay_.next.cancel();
    resend_.next.cancel();
    displayMonitor_.reset();
    portsReady_.store(false, std::memory_order_release);
    push_.reset();
    control_.reset();
    notes_.reset();
    if (repeatTimer_) repeatTimer_->cancel();
    pads_.reset();
    repeatTimer_.reset();
    scheduler_.reset();
    client_.reset();
}

double Bridge::now() { return MonotonicClock::seconds(); }

void Bridge::start() {
    client_ = std::make_shared<MIDIClient>(std::string(clientName), midiBackend_);

    const SettingReader read = settings_->reader();
    local_.pads = PadStore::load(read);
    local_.repeatRate = RepeatRate::sixteenth;
    if (auto raw = Settings::integer(read(PadStore::repeatRateKey))) {
        if (auto rate = repeatRateFromRaw(*raw)) local_.repeatRate = *rate;
    }
    pushPreferences_ = PushPreferencesStore::load(read);
    local_.setup.preamps = pushPreferences_.preamps;

    std::weak_ptr<Bridge> weak = weak_from_this();
    pushRefusal_.emplace([weak] {
        if (auto self = weak.lock(); self && !self->stopped_) self->startReplay();
    });
    notesRefusal_.emplace([weak] {
        if (auto self = weak.lock(); self && !self->stopped_) self->startResend();
    });
    std::function<void()> onRepeatThreadStart;
    if (promoteRepeatThread_) {
        // The log outlives the bridge, and the timer's thread ends with the bridge.
        onRepeatThreadStart = [promote = promoteRepeatThread_, log = &log_] {
            const RealtimeGrant grant = promote();
            log->info([&] { return "note-repeat thread: " + RealtimeThread::describe(grant); });
        };
    }
    repeatTimer_ = std::make_unique<RepeatTimer>(
        [weak] {
            if (auto self = weak.lock()) self->pads_->tick();
        },
        std::move(onRepeatThreadStart));

    PadPlayer::Config config{
        .settings = local_.pads,
        .colors = PadColors::standard,
        .accent = false,
        .repeatOn = false,
        .repeatRate = local_.repeatRate,
        .tempo = 120.0,
        .dark = false,
    };
    pads_ = std::make_unique<PadPlayer>(
        config,
        [weak](std::span<const std::uint8_t> bytes) {
            auto self = weak.lock();
            if (!self || !self->notes_ || self->notes_->send(bytes) != MIDISendResult::receiverFull)
                return true;
            self->notesRefused();
            return false;
        },
        [weak](const MIDIMessage& message) {
            if (auto self = weak.lock()) self->sendLED(message);
        },
        &PadPlayer::uptime,
        [weak](std::optional<double> time) {
            if (auto self = weak.lock()) self->repeatTimer_->schedule(time);
        });

    scheduler_ = DisplayScheduler::create(options_.pixelOrder, options_.maxFPS, keepAliveInterval,
                                          [weak](Canvas& canvas) {
                                              if (auto self = weak.lock()) self->draw(canvas);
                                          });

    setUpPorts();

    setUpDisplay();
    startWatchdog();
    updateLEDs();  // the pads' too

    if (pushConnected()) restorePushPreferences();

    sendToScript(BridgeMessage::bridgeHello(std::string(bridgeVersion), pushConnected()));
    sendToScript(BridgeMessage::requestResync());
    log_.info([] {
        return "bridge " + std::string(bridgeVersion) + " started; virtual ports \"Corvane\" and \"Corvane Notes\"";
    });
}

void Bridge::setUpPorts() {
    std::weak_ptr<Bridge> weak = weak_from_this();
    client_->onInputLost([weak] {
        if (auto self = weak.lock()) self->inputLost();
    });
    notes_ = std::make_unique<VirtualMIDIPort>(client_, std::string(notesPortName), notesUniqueID);
    control_ = std::make_unique<VirtualMIDIPort>(
        client_, std::string(controlPortName), controlUniqueID, [weak](std::span<const std::uint8_t> bytes) {
            auto self = weak.lock();
            if (!self) return;
            self->fromCubase_.feed(bytes,
                                   [&](const MIDIMessage& message) { self->handleFromCubase(message); });
        });
    push_ = MIDIDevicePort::create(
        client_, PushPortNames::inOrder(), [weak](std::span<const std::uint8_t> bytes) {
            auto self = weak.lock();
            if (!self) return;
            self->fromPush_.feed(bytes, [&](const MIDIMessage& message) { self->handleFromPush(message); });
        });
    push_->setOnConnectionChange([weak](bool connected) {
        if (auto self = weak.lock(); self && !self->stopped_) self->pushConnectionChanged(connected);
    });
    // Nothing to let go of: the loss let go of what was held then, and what was pressed since
    // is held.
    push_->setOnInputLostWhileConnected([weak] {
        if (auto self = weak.lock(); self && !self->stopped_) self->setUpPush();
    });
    portsReady_.store(true, std::memory_order_release);
    if (push_->isConnected()) {
        log_.info([] { return "Push MIDI connected"; });
    } else {
        log_.info([] { return "waiting for Ableton Push 3 Live Port"; });
    }
}

void Bridge::pushConnectionChanged(bool connected) {
    log_.info([&] { return connected ? "Push MIDI connected" : "Push MIDI disconnected"; });
    if (!connected) {
        paletteWritten_.reset();
        // A device that is gone sends no note-off: end what its pads hold, or those notes (and
        // a running repeat) would sound until the next start.
        pads_->releaseAll();
        pads_->refreshLEDs();
    }
    if (connected) setUpPush();
    sendToScript(BridgeMessage::pushStatus(connected));
    scheduler_->invalidate();
    publishStatus();
}

// Everything the Push shows and its saved settings, sent as to a device just plugged in; then its
// settings asked back. Also after our input was lost with the Push still there: its answers, and
// whatever else it said meanwhile, went with the loss.
void Bridge::setUpPush() {
    paletteWritten_.reset();
    LEDShadow::Cursor cursor;
    std::size_t replayed = 0;
    // In batches, so that the pads' own LEDs are not held up behind the whole table.
    while (!cursor.finished() && sendRecordedLEDs(cursor, RetryPacing::firstBatch, replayed)) {
    }
    if (replayed > 0) log_.info([&] { return "restored " + std::to_string(replayed) + " LED states"; });
    updateLEDs();
    restorePushPreferences();
}

void Bridge::handleFromPush(const MIDIMessage& message) {
    if (!portsReady_.load(std::memory_order_acquire)) return;
    if (const auto* sysex = message.as<MIDIMessage::Sysex>()) {
        if (auto body = PushSysEx::body(sysex->bytes)) {
            onMain([body = std::move(*body)](Bridge& self) { self.handlePushSysEx(body); });
            return;
        }
    }

    bool intercept = false;
    bool scenesPickRepeatRates = false;
    {
        std::lock_guard guard(interceptLock_);
        intercept = interceptControls_;
        scenesPickRepeatRates = scenesPickRepeatRates_;
    }

    // Scene buttons belong to the script unless they pick repeat rates.
    Route route = Router::route(message, scenesPickRepeatRates);
    if (route == Route::drop) return;
    std::optional<PushInput> input;
    if (route == Route::control && intercept) {
        input = PushInputDecoder::decode(message);
        if (interceptedWhilePageShown(*input)) route = Route::local;
    }

    log_.midi([&] {
        return "push → " + std::string(name(route)) + ": " + Hex::bytes(message.bytes());
    });

    switch (route) {
        case Route::control: {
            control_->send(message.bytes());
            {
                std::lock_guard guard(counterLock_);
                counters_.midiFromPush += 1;
                counters_.midiToCubase += 1;
            }
            if (!input) input = PushInputDecoder::decode(message);
            if (alsoShownLocally(*input)) {
                onMain([input = std::move(*input)](Bridge& self) { self.handleLocal(input); });
            }
            break;
        }
        case Route::performance:
            pads_->handle(message);
            break;
        case Route::local:
            if (!input) input = PushInputDecoder::decode(message);
            onMain([input = std::move(*input)](Bridge& self) { self.handleLocal(input); });
            break;
        case Route::drop:
            break;
    }
}

void Bridge::handleFromCubase(const MIDIMessage& message) {
    {
        std::lock_guard guard(counterLock_);
        counters_.midiFromCubase += 1;
    }
    if (message.is<MIDIMessage::Other>()) return;
    if (const auto* sysex = message.as<MIDIMessage::Sysex>()) {
        if (!BridgeCodec::isOurs(sysex->bytes)) return;
        HostResult result = BridgeCodec::decodeHostMessage(sysex->bytes);
        // Only a frame that did not decode is logged as it came.
        Bytes raw = result ? Bytes() : sysex->bytes;
        onMain([result = std::move(result), raw = std::move(raw)](Bridge& self) { self.handleHost(result, raw); });
        return;
    }
    // A channel message that comes while the ports are still being made has nowhere to go.
    if (!portsReady_.load(std::memory_order_acquire)) return;
    sendLED(message);
    {
        std::lock_guard guard(counterLock_);
        counters_.midiToPush += 1;
    }
    log_.midi([&] { return "cubase → push: " + Hex::bytes(message.bytes()); });
}

// The kernel threw away what was queued for us, from the Push and from the script alike: a pad's
// release may have been among it, and so may host values.
void Bridge::inputLost() {
    // Half a message from before the loss must not swallow what follows it.
    fromPush_ = MIDIStreamParser(maxSysexLength);
    fromCubase_ = MIDIStreamParser(maxSysexLength);
    if (!portsReady_.load(std::memory_order_acquire)) return;
    // No pad can be known to be held: end every note now, here, so that a press read after the
    // loss starts afresh rather than being ended by this.
    pads_->releaseAll();
    pads_->refreshLEDs();
    onMain([](Bridge& self) {
        self.letGoOfHeldButtons();
        self.sendToScript(BridgeMessage::requestResync());
    });
}

void Bridge::shutdown() {
    // First of all: a pad played after its notes were released would stay stuck in Cubase.
    portsReady_.store(false, std::memory_order_release);
    stopped_ = true;
    watchdog_.cancel();
    replay_.next.cancel();
    resend_.next.cancel();
    log_.info([] { return "shutting down"; });
    repeatTimer_->cancel();
    pads_->releaseAll();
    sendToScript(BridgeMessage::pushStatus(false));
    if (paletteTouched_ && pushConnected()) {
        for (const auto& [index, entry] : paletteOriginals_) sendToPush(PushSysEx::setPalette(entry));
        sendToPush(PushSysEx::reapply());
    }
    // Off on channel 1 whatever channel lit them: a steady 0 also ends any animation.
    for (const MIDIMessage& message : replayLEDs()) {
        if (const auto* note = message.as<MIDIMessage::NoteOn>()) {
            sendToPush(Bytes{0x90, note->note, 0});
        } else if (const auto* cc = message.as<MIDIMessage::ControlChange>()) {
            sendToPush(Bytes{0xB0, cc->controller, 0});
        }
    }
    displayMonitor_->stop();
    log_.flush();
}

bool Bridge::sendToPush(std::span<const std::uint8_t> bytes) {
    if (!push_ || push_->send(bytes) != MIDISendResult::receiverFull) return true;
    pushSendDropped();
    return false;
}

void Bridge::notesRefused() {
    // A resend running or on its way covers this one.
    if (!notesRefused_.exchange(true)) notesRefusal_->raise();
}

void Bridge::startResend() {
    if (resend_.running) return;
    resend_ = {true, RetryPacing::firstBatch, 0, {}};
    resend_.next = onMainAfter(RetryPacing::pause, [](Bridge& self) { self.resendStep(); });
}

// A note-off the host refused, or took and then lost with its full queue, would leave the note
// sounding there, and a lost pedal or bend would leave the host at another value than the player
// holds: they go again until the host has them.
void Bridge::resendStep() {
    notesRefused_ = false;
    const HeldAtHost::Resent resent = pads_->resendToHost(resend_.batch);
    resend_.sent += resent.sent;
    if (resent.refused && resent.sent > 0) resend_.batch = std::max<std::size_t>(1, resend_.batch / 2);
    if (resent.refused || pads_->hostResendWaiting()) {
        resend_.next = onMainAfter(resent.refused ? RetryPacing::pause : RetryPacing::pace,
                                   [](Bridge& bridge) { bridge.resendStep(); });
        return;
    }
    const std::size_t sent = resend_.sent;
    resend_ = {};
    log_.info([&] {
        return "sent the notes reader " + std::to_string(sent) + " note-offs and control values again that it had missed";
    });
}

void Bridge::sendToScript(const BridgeMessage& message) { control_->send(BridgeCodec::encode(message)); }

void Bridge::sendLED(const MIDIMessage& message) {
    std::lock_guard guard(ledLock_);
    ledShadow_.record(message);
    sendToPush(message.bytes());
}

bool Bridge::sendRecordedLEDs(LEDShadow::Cursor& cursor, std::size_t count, std::size_t& sent) {
    std::lock_guard guard(ledLock_);
    for (const MIDIMessage& message : ledShadow_.replayFrom(cursor, count)) {
        if (!sendToPush(message.bytes())) return false;
        ++sent;
    }
    return true;
}

std::vector<MIDIMessage> Bridge::replayLEDs() const {
    std::lock_guard guard(ledLock_);
    return ledShadow_.replay();
}

bool Bridge::pushConnected() const { return push_ && push_->isConnected(); }

Bridge::Counters Bridge::counters() const {
    std::lock_guard guard(counterLock_);
    return counters_;
}

void Bridge::onMain(std::function<void(Bridge&)> work) {
    MainQueue::async([weak = weak_from_this(), work = std::move(work)] {
        if (auto self = weak.lock(); self && !self->stopped_) work(*self);
    });
}

WorkItem Bridge::onMainAfter(double seconds, std::function<void(Bridge&)> work) {
    const auto delay = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::duration<double>(seconds));
    return MainQueue::asyncAfter(delay, [weak = weak_from_this(), work = std::move(work)] {
        if (auto self = weak.lock(); self && !self->stopped_) work(*self);
    });
}

}  // namespace corvane
