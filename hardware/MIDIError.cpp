#include "hardware/MIDIError.h"

namespace corvane {

MIDIError::MIDIError(std::int32_t status, std::string operation, std::string detail)
    : std::runtime_error(describe(status, operation, detail)),
      status_(status),
      operation_(std::move(operation)) {}

std::string MIDIError::describe(std::int32_t status, const std::string& operation,
                                const std::string& detail) {
    std::string text = operation + " failed (OSStatus " + std::to_string(status) + ")";
    if (!detail.empty()) text += ": " + detail;
    return text;
}

}  // namespace corvane
