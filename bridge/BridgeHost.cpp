// The script's side: host messages, the Cubase connection and its heartbeat watchdog, and the
// status published for the menu.

#include <algorithm>
#include <chrono>

#include "bridge/Bridge.h"
#include "bridge/Version.h"
#include "core/BridgeProtocol.h"
#include "core/Hex.h"
#include "core/Overloaded.h"
#include "core/StateKeys.h"
#include "platform/MainQueue.h"
#include "platform/PrintableText.h"

namespace corvane {

namespace {

constexpr double statusAfterConnecting = 1.6;  // just past the 1.5 s the status screen stays up
constexpr std::size_t loggedBadBytes = 24;
// The script's own lines are messages, not quotes: room for a whole one, but not for a flood.
constexpr std::size_t scriptLineCharacters = 1000;

// Each kind of refused frame is summarised on its own, so one kind cannot hide another.
std::string_view badMessageKind(const ProtocolError& error) {
    if (error.is<ProtocolError::VersionMismatch>()) return "bad message from Cubase: version";
    if (error.is<ProtocolError::UnknownCommand>()) return "bad message from Cubase: command";
    if (error.is<ProtocolError::Malformed>()) return "bad message from Cubase: malformed";
    return "bad message from Cubase: not ours";
}

// Values that change many times a second and would drown the log.
bool tooFrequentToLog(const HostMessage& message) {
    if (const auto* text = message.as<HostMessage::SetString>()) return text->key == StateKeys::Transport::timeText;
    if (const auto* number = message.as<HostMessage::SetNumber>())
        return number->key.field == StateKeys::ChannelField::meter &&
               number->key.object >= StateKeys::Object::bankChannelBase;
    return false;
}

}  // namespace

void Bridge::handleHost(const HostResult& result, const Bytes& raw) {
    if (!result) {
        const ProtocolError& error = result.error();
        if (const auto* mismatch = error.as<ProtocolError::VersionMismatch>()) {
            protocolProblem_ = "Script protocol v" + std::to_string(mismatch->version) + " ≠ bridge v" +
                               std::to_string(BridgeProtocol::version) + " — update both";
            scheduler_->invalidate();
            publishStatus();
        }
        log_.summarisedWarning(badMessageKind(error), [&] {
            const std::span<const std::uint8_t> shown(raw.data(), std::min(raw.size(), loggedBadBytes));
            return "bad message from Cubase (" + error.description() + "): " + Hex::bytes(shown);
        });
        return;
    }

    const HostMessage& message = *result;
    // The Push may still show the problem: a message that decodes ends it there too.
    if (protocolProblem_) {
        protocolProblem_.reset();
        scheduler_->invalidate();
    }

    std::visit(Overloaded{
                   [&](const HostMessage::Hello& hello) {
                       scriptVersion_ = hello.scriptVersion;
                       const bool hadState = !state_.values().empty();
                       state_.removeAll();
                       lastHeartbeat_ = now();
                       // A hello while connected changes nothing else, but the emptied state
                       // must leave the display and the LEDs too.
                       if (hadState) {
                           scheduler_->invalidate();
                           scheduleLEDUpdate();
                       }
                       setCubaseConnected(true);
                       sendToScript(BridgeMessage::bridgeHello(std::string(bridgeVersion), pushConnected()));
                       log_.info([&] { return "Cubase script " + printableText(hello.scriptVersion) + " said hello"; });
                   },
                   [&](const HostMessage::Log& line) {
                       auto text = [&] { return "[script] " + printableText(line.text, scriptLineCharacters); };
                       if (line.level >= 2) {
                           log_.warning(text);
                       } else {
                           log_.info(text);
                       }
                   },
                   [&](const HostMessage::Heartbeat&) {
                       lastHeartbeat_ = now();
                       if (!cubaseConnected_) {
                           setCubaseConnected(true);
                           sendToScript(BridgeMessage::requestResync());
                       }
                   },
                   [&](const HostMessage::Goodbye&) {
                       log_.info([] { return "Cubase script said goodbye"; });
                       setCubaseConnected(false);
                   },
                   [&](const auto&) {
                       if (!state_.apply(message)) return;
                       if (!tooFrequentToLog(message)) log_.debug([&] { return "state " + describe(message); });
                       scheduler_->invalidate();
                       scheduleLEDUpdate();
                   },
               },
               message.value);
    publishStatus();
}

void Bridge::setCubaseConnected(bool connected) {
    if (connected == cubaseConnected_) return;
    cubaseConnected_ = connected;
    if (connected) {
        connectedAt_ = now();
        onMainAfter(statusAfterConnecting, [](Bridge& self) { self.scheduler_->invalidate(); });
    }
    log_.info([&] { return connected ? "Cubase connected" : "Cubase disconnected"; });
    scheduler_->invalidate();
    updateLEDs();
    publishStatus();
}

void Bridge::startWatchdog() {
    using namespace std::chrono_literals;
    watchdog_ = MainQueue::scheduleRepeating(1s, 250ms, [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->watchdogTick();
    });
}

void Bridge::watchdogTick() {
    if (cubaseConnected_ && now() - lastHeartbeat_ > options_.heartbeatTimeout) {
        log_.warning([] { return "Cubase heartbeat lost"; });
        setCubaseConnected(false);
    }
    // The diagnostics tab shows ages and counters: once a second is enough.
    if (local_.setup.showsDiagnostics()) scheduler_->invalidate();
}

void Bridge::setOnStatusChange(std::function<void(const BridgeStatus&)> handler) {
    onStatusChange_ = std::move(handler);
}

void Bridge::publishStatus() {
    if (!onStatusChange_) return;
    BridgeStatus current = status();
    if (lastStatus_ == current) return;
    lastStatus_ = current;
    onStatusChange_(current);
}

BridgeStatus Bridge::status() const {
    BridgeStatus status;
    status.cubaseConnected = cubaseConnected_;
    status.pushConnected = pushConnected();
    status.displayAttached = displayMonitor_->display() != nullptr;
    status.diagnostics = local_.setup.showsDiagnostics();
    status.host = hostDescription();
    status.problem = protocolProblem_ ? protocolProblem_ : displayProblem_;
    return status;
}

std::string Bridge::hostDescription() const {
    const auto name = state_.string(StateKeys::Session::hostName);
    const auto version = state_.string(StateKeys::Session::hostVersion);
    if (name && version) return *name + " " + *version;
    return name.value_or(version.value_or(""));
}

}  // namespace corvane
