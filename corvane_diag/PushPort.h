#pragma once
// The Push's Live Port as the commands open it, and the receive path they share: the MIDI
// receive thread only parses and picks, the main queue handles.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/MIDIMessage.h"
#include "core/MIDIStreamParser.h"
#include "corvane_diag/CommandRun.h"
#include "hardware/MIDIClient.h"
#include "hardware/MIDIDevicePort.h"

namespace corvane {

inline constexpr std::int64_t diagSysexLimit = 65536;
inline constexpr const char* diagClientName = "corvane-diag";

// A receive callback that feeds its own parser; `pick` runs on the receive thread and chooses
// (and may decode) what goes on, `handle` gets it on the main queue while the command runs.
template <class T>
MIDIReceiveCallback receivePath(CommandRun& run, std::function<std::optional<T>(const MIDIMessage&)> pick,
                                std::function<void(T)> handle) {
    auto parser = std::make_shared<MIDIStreamParser>(diagSysexLimit);
    // Shared, so that a message posts a pointer rather than a copy of the handler.
    auto shared = std::make_shared<const std::function<void(T)>>(std::move(handle));
    return
        [parser, post = run.poster(), pick = std::move(pick), shared](std::span<const std::uint8_t> bytes) {
            parser->feed(bytes, [&](const MIDIMessage& message) {
                if (auto picked = pick(message))
                    post([shared, value = std::move(*picked)] { (*shared)(value); });
            });
        };
}

// Every complete message except the raw `other` case.
MIDIReceiveCallback messagePath(CommandRun& run, std::function<void(const MIDIMessage&)> handle);

// Every complete message, real-time and system-common bytes included.
MIDIReceiveCallback everyMessagePath(CommandRun& run, std::function<void(const MIDIMessage&)> handle);

// The MIDI client of a command; prints "error: " and the reason and ends the command with 1
// when the system refuses it.
std::shared_ptr<MIDIClient> makeClient(CommandRun& run, const std::string& name = diagClientName);

// The port on source and destination `name`; on failure the same as makeClient.
std::shared_ptr<MIDIDevicePort> makePort(CommandRun& run, const std::shared_ptr<MIDIClient>& client,
                                         const std::string& name, MIDIReceiveCallback onReceive);

// The Push's Live Port under whichever name the kernel gave it; on failure the same as makeClient.
std::shared_ptr<MIDIDevicePort> makePushPort(CommandRun& run, const std::shared_ptr<MIDIClient>& client,
                                             MIDIReceiveCallback onReceive);

// For commands that do not wait for the Push: the command's client and the Live Port on it (the
// port keeps the client). Prints "Push Live Port not found" and ends the command with 1 when it
// is not there now. Null when the command ended.
std::shared_ptr<MIDIDevicePort> openPushNow(CommandRun& run, MIDIReceiveCallback onReceive);

// For commands that wait for the Push: reports it coming and going, and hands `onMessage` every
// message but the raw `other` case. Null when the port could not be made (the command ended).
std::shared_ptr<MIDIDevicePort> connectPush(CommandRun& run, const std::shared_ptr<MIDIClient>& client,
                                            std::function<void(const MIDIMessage&)> onMessage);

// The body of a Push system-exclusive message; absent for any other message.
std::optional<Bytes> pushBody(const MIDIMessage& message);

// A Push system-exclusive command from its body.
void sendBody(MIDIDevicePort& port, std::span<const std::uint8_t> body);

}  // namespace corvane
