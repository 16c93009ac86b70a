#pragma once
// The Push 3's system-exclusive commands: framing, the commands the system sends, and the
// replies it reads. Pure byte work.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <variant>
#include <vector>

#include "core/MIDIMessage.h"
#include "core/PushSettingTypes.h"

namespace corvane::PushSysEx {

inline constexpr std::array<std::uint8_t, 6> header{0xF0, 0x00, 0x21, 0x1D, 0x01, 0x01};
inline constexpr std::uint8_t end = 0xF7;

// Command bytes: the first byte of a body.
inline constexpr std::uint8_t setPaletteEntry = 0x03;
inline constexpr std::uint8_t getPaletteEntry = 0x04;
inline constexpr std::uint8_t reapplyPalette = 0x05;
inline constexpr std::uint8_t setLEDBrightness = 0x06;
inline constexpr std::uint8_t getLEDBrightness = 0x07;
inline constexpr std::uint8_t setDisplayBrightness = 0x08;
inline constexpr std::uint8_t getDisplayBrightness = 0x09;
inline constexpr std::uint8_t setAftertouchMode = 0x1E;
inline constexpr std::uint8_t getAftertouchMode = 0x1F;
inline constexpr std::uint8_t setVelocityCurveEntries = 0x20;
inline constexpr std::uint8_t getVelocityCurveEntry = 0x21;
inline constexpr std::uint8_t audioInterface = 0x37;

// One slot of the Push's LED palette. Channels are 0...255 on the Push.
struct PaletteEntry {
    std::uint8_t index = 0;
    int red = 0, green = 0, blue = 0, white = 0;
    bool operator==(const PaletteEntry&) const = default;
};

// A settings reply from the Push.
struct Reply {
    struct LEDBrightness {
        int value;
        bool operator==(const LEDBrightness&) const = default;
    };
    struct DisplayBrightness {
        int value;
        bool operator==(const DisplayBrightness&) const = default;
    };
    struct Aftertouch {
        AftertouchMode mode;
        bool operator==(const Aftertouch&) const = default;
    };
    struct VelocityCurveEntry {
        int index, velocity;
        bool operator==(const VelocityCurveEntry&) const = default;
    };

    using Case = std::variant<LEDBrightness, DisplayBrightness, Aftertouch, VelocityCurveEntry>;
    Case value;

    static Reply ledBrightness(int value) { return {LEDBrightness{value}}; }
    static Reply displayBrightness(int value) { return {DisplayBrightness{value}}; }
    static Reply aftertouchMode(AftertouchMode mode) { return {Aftertouch{mode}}; }
    static Reply velocityCurveEntry(int index, int velocity) {
        return {VelocityCurveEntry{index, velocity}};
    }

    template <class T>
    const T* as() const {
        return std::get_if<T>(&value);
    }
    template <class T>
    bool is() const {
        return std::holds_alternative<T>(value);
    }

    bool operator==(const Reply&) const = default;
};

// Framing.
Bytes message(std::span<const std::uint8_t> body);
// The bytes between header and F7; absent unless there is at least one.
std::optional<Bytes> body(std::span<const std::uint8_t> bytes);

// Commands, each a complete framed message. Values are clamped to what the Push takes.
Bytes ledBrightness(int value);
Bytes displayBrightness(int value);
Bytes aftertouchMode(AftertouchMode mode);
// Input 0 is the first input; any other number the second.
Bytes preamp(int input, Preamp preamp);
// At most the first 16 values are sent.
Bytes velocityCurveChunk(int start, std::span<const int> values);
Bytes queryVelocityCurveEntry(int index);
Bytes setPalette(const PaletteEntry& entry);
Bytes queryPaletteEntry(int index);
// Has the Push show palette entries written since.
Bytes reapply();
// LED brightness, display brightness, aftertouch mode.
std::vector<Bytes> settingsQueries();

// Readers of a body as `body` returns it.
std::optional<Reply> reply(std::span<const std::uint8_t> body);
std::optional<PaletteEntry> decodePaletteEntry(std::span<const std::uint8_t> body);

}  // namespace corvane::PushSysEx
