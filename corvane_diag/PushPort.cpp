#include "corvane_diag/PushPort.h"

#include "core/PushSysEx.h"
#include "hardware/MIDIError.h"
#include "hardware/PushPortNames.h"

namespace corvane {

MIDIReceiveCallback messagePath(CommandRun& run, std::function<void(const MIDIMessage&)> handle) {
    return receivePath<MIDIMessage>(
        run,
        [](const MIDIMessage& message) -> std::optional<MIDIMessage> {
            if (message.is<MIDIMessage::Other>()) return std::nullopt;
            return message;
        },
        [handle = std::move(handle)](MIDIMessage message) { handle(message); });
}

MIDIReceiveCallback everyMessagePath(CommandRun& run, std::function<void(const MIDIMessage&)> handle) {
    return receivePath<MIDIMessage>(
        run, [](const MIDIMessage& message) { return std::optional<MIDIMessage>(message); },
        [handle = std::move(handle)](MIDIMessage message) { handle(message); });
}

std::shared_ptr<MIDIClient> makeClient(CommandRun& run, const std::string& name) {
    try {
        return std::make_shared<MIDIClient>(name, run.environment().midi);
    } catch (const MIDIError& error) {
        run.print(std::string("error: ") + error.what());
        run.finish(1);
        return nullptr;
    }
}

namespace {

std::shared_ptr<MIDIDevicePort> portOrEnd(CommandRun& run,
                                          const std::function<std::shared_ptr<MIDIDevicePort>()>& make) {
    try {
        return make();
    } catch (const MIDIError& error) {
        run.print(std::string("error: ") + error.what());
        run.finish(1);
        return nullptr;
    }
}

}  // namespace

std::shared_ptr<MIDIDevicePort> makePort(CommandRun& run, const std::shared_ptr<MIDIClient>& client,
                                         const std::string& name, MIDIReceiveCallback onReceive) {
    return portOrEnd(run, [&] { return MIDIDevicePort::create(client, name, name, std::move(onReceive)); });
}

std::shared_ptr<MIDIDevicePort> makePushPort(CommandRun& run, const std::shared_ptr<MIDIClient>& client,
                                             MIDIReceiveCallback onReceive) {
    return portOrEnd(
        run, [&] { return MIDIDevicePort::create(client, PushPortNames::inOrder(), std::move(onReceive)); });
}

std::shared_ptr<MIDIDevicePort> openPushNow(CommandRun& run, MIDIReceiveCallback onReceive) {
    auto client = makeClient(run);
    if (!client) return nullptr;
    auto port = makePushPort(run, client, std::move(onReceive));
    if (!port) return nullptr;
    if (!port->isConnected()) {
        run.print("Push Live Port not found");
        run.finish(1);
        return nullptr;
    }
    return port;
}

std::shared_ptr<MIDIDevicePort> connectPush(CommandRun& run, const std::shared_ptr<MIDIClient>& client,
                                            std::function<void(const MIDIMessage&)> onMessage) {
    auto port = makePushPort(run, client, messagePath(run, std::move(onMessage)));
    if (!port) return nullptr;
    // The port reports changes from the main queue, where the client hears of them.
    port->setOnConnectionChange(
        [&run](bool connected) { run.print(connected ? "Push MIDI connected" : "Push MIDI disconnected"); });
    run.print(port->isConnected() ? "Push MIDI connected" : "Waiting for Ableton Push 3 Live Port…");
    return port;
}

std::optional<Bytes> pushBody(const MIDIMessage& message) {
    const auto* sysex = message.as<MIDIMessage::Sysex>();
    if (!sysex) return std::nullopt;
    return PushSysEx::body(sysex->bytes);
}

void sendBody(MIDIDevicePort& port, std::span<const std::uint8_t> body) {
    port.send(PushSysEx::message(body));
}

}  // namespace corvane
