#include "hardware/USBDisplayError.h"

#include "core/Overloaded.h"

namespace corvane {

USBDisplayError::USBDisplayError(Case value) : std::runtime_error(describe(value)), value(std::move(value)) {}

std::string USBDisplayError::describe(const Case& value) {
    return std::visit(
        Overloaded{
            [](const OpenFailed& e) { return "Could not open display interface: " + e.description; },
            [](const TransferFailed& e) { return "Display transfer failed: " + e.description; },
            [](const ShortTransfer& e) {
                return "Short display transfer (" + std::to_string(e.actual) + "/" +
                       std::to_string(e.expected) + " bytes)";
            },
            [](const NotFound&) { return std::string("Push display interface not found"); },
            [](const NotOpen&) { return std::string("Display interface not open"); },
            [](const Unavailable& e) { return "USB display unavailable: " + e.description; },
        },
        value);
}

}  // namespace corvane
