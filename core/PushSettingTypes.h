#pragma once
// The Push settings that the setup page shows and the system-exclusive commands carry.
// Raw values are the numbers sent to the Push and stored in the user defaults.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace corvane {

enum class SetupTab : std::uint8_t { audio = 0, expression = 1, display = 2, diagnostics = 3 };

// Input type of one of the audio interface's inputs.
enum class Preamp : std::uint8_t { line = 0, instrument = 1, high = 2 };

// The pads' pressure mode.
enum class AftertouchMode : std::uint8_t { channel = 0, poly = 1, mpe = 2 };

inline constexpr std::array<SetupTab, 4> allSetupTabs{SetupTab::audio, SetupTab::expression,
                                                      SetupTab::display, SetupTab::diagnostics};
inline constexpr std::array<Preamp, 3> allPreamps{Preamp::line, Preamp::instrument, Preamp::high};
inline constexpr std::array<AftertouchMode, 3> allAftertouchModes{
    AftertouchMode::channel, AftertouchMode::poly, AftertouchMode::mpe};

constexpr int rawValue(SetupTab tab) { return static_cast<int>(tab); }
constexpr int rawValue(Preamp preamp) { return static_cast<int>(preamp); }
constexpr int rawValue(AftertouchMode mode) { return static_cast<int>(mode); }

// Absent for a raw value that names no case.
constexpr std::optional<SetupTab> setupTabFromRaw(std::int64_t raw) {
    if (raw < 0 || raw > 3) return std::nullopt;
    return static_cast<SetupTab>(raw);
}
constexpr std::optional<Preamp> preampFromRaw(std::int64_t raw) {
    if (raw < 0 || raw > 2) return std::nullopt;
    return static_cast<Preamp>(raw);
}
constexpr std::optional<AftertouchMode> aftertouchModeFromRaw(std::int64_t raw) {
    if (raw < 0 || raw > 2) return std::nullopt;
    return static_cast<AftertouchMode>(raw);
}

constexpr std::string_view name(SetupTab tab) {
    switch (tab) {
        case SetupTab::audio: return "AUDIO";
        case SetupTab::expression: return "EXPRESSION";
        case SetupTab::display: return "DISPLAY";
        case SetupTab::diagnostics: return "DIAGNOSTICS";
    }
    return "";
}

constexpr std::string_view name(Preamp preamp) {
    switch (preamp) {
        case Preamp::line: return "Line";
        case Preamp::instrument: return "Instrument";
        case Preamp::high: return "High";
    }
    return "";
}

constexpr std::string_view name(AftertouchMode mode) {
    switch (mode) {
        case AftertouchMode::channel: return "Mono aftertouch";
        case AftertouchMode::poly: return "Poly aftertouch";
        case AftertouchMode::mpe: return "MPE";
    }
    return "";
}

// The short label on the expression tab's buttons.
constexpr std::string_view buttonName(AftertouchMode mode) {
    switch (mode) {
        case AftertouchMode::channel: return "MONO";
        case AftertouchMode::poly: return "POLY";
        case AftertouchMode::mpe: return "MPE";
    }
    return "";
}

}  // namespace corvane
