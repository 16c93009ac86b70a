// Readable forms of the protocol's messages, for test failures and debugging.

#include <ostream>

#include "core/BridgeMessage.h"
#include "core/HostMessage.h"
#include "core/Overloaded.h"
#include "platform/PrintableText.h"

namespace corvane {

namespace {

// Host text reaches the log through here: no control or invisible character gets through, and
// one long text cannot fill the line.
std::string quoted(const std::string& text) { return "\"" + printableText(text) + "\""; }

}  // namespace

std::string describe(const HostMessage& message) {
    using M = HostMessage;
    return std::visit(
        Overloaded{
            [](const M::Hello& m) { return "hello(" + quoted(m.scriptVersion) + ")"; },
            [](const M::SetString& m) { return "setString(" + m.key.description() + ", " + quoted(m.text) + ")"; },
            [](const M::SetNumber& m) {
                return "setNumber(" + m.key.description() + ", " + std::to_string(m.value) + ")";
            },
            [](const M::SetColor& m) {
                return "setColor(" + m.key.description() + ", RGB(" + std::to_string(m.color.r) + ", " +
                       std::to_string(m.color.g) + ", " + std::to_string(m.color.b) + "))";
            },
            [](const M::ClearObject& m) { return "clearObject(" + std::to_string(m.object) + ")"; },
            [](const M::Log& m) { return "log(" + std::to_string(m.level) + ", " + quoted(m.text) + ")"; },
            [](const M::Goodbye&) { return std::string("goodbye"); },
            [](const M::Heartbeat&) { return std::string("heartbeat"); },
        },
        message.value);
}

std::string describe(const BridgeMessage& message) {
    using M = BridgeMessage;
    return std::visit(
        Overloaded{
            [](const M::BridgeHello& m) {
                return "bridgeHello(" + quoted(m.bridgeVersion) + ", " + (m.pushConnected ? "true" : "false") + ")";
            },
            [](const M::PushStatus& m) { return std::string("pushStatus(") + (m.connected ? "true" : "false") + ")"; },
            [](const M::RequestResync&) { return std::string("requestResync"); },
        },
        message.value);
}

void PrintTo(const HostMessage& message, std::ostream* out) { *out << describe(message); }
void PrintTo(const BridgeMessage& message, std::ostream* out) { *out << describe(message); }

}  // namespace corvane
