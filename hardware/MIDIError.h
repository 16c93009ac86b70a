#pragma once
// A MIDI set-up operation that failed, with the status the system returned. On the ALSA
// sequencer the status is the negative errno that alsa-lib returned, and the text adds what it
// means.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace corvane {

class MIDIError : public std::runtime_error {
public:
    // Text: "<operation> failed (OSStatus <status>)", then ": <detail>" when there is a detail.
    MIDIError(std::int32_t status, std::string operation, std::string detail = {});

    std::int32_t status() const { return status_; }
    const std::string& operation() const { return operation_; }

    static std::string describe(std::int32_t status, const std::string& operation, const std::string& detail);

private:
    std::int32_t status_;
    std::string operation_;
};

}  // namespace corvane
