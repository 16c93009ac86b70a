#include "core/ProtocolError.h"

#include <ostream>

#include "core/Overloaded.h"

namespace corvane {

std::string ProtocolError::description() const {
    return std::visit(
        Overloaded{
            [](const VersionMismatch& e) { return "versionMismatch(" + std::to_string(e.version) + ")"; },
            [](const UnknownCommand& e) { return "unknownCommand(" + std::to_string(e.command) + ")"; },
            [](const Malformed& e) { return "malformed(\"" + e.reason + "\")"; },
            [](const NotOurs&) { return std::string("notOurs"); },
        },
        value);
}

void PrintTo(const ProtocolError& error, std::ostream* out) { *out << error.description(); }

}  // namespace corvane
