#pragma once
// The keys of the host state: the contract with the Cubase script, which must use exactly
// these object and field numbers.

#include <cstdint>
#include <optional>
#include <string>

#include "core/StateKey.h"

namespace corvane {

class RemoteState;

namespace StateKeys {

namespace Object {
inline constexpr std::uint8_t session = 0;
inline constexpr std::uint8_t transport = 1;
inline constexpr std::uint8_t selectedTrack = 2;
inline constexpr std::uint8_t device = 3;
inline constexpr std::uint8_t master = 4;
// Bank channel i (0-7) is object 16 + i; parameter slot i (0-7) is object 32 + i.
inline constexpr std::uint8_t bankChannelBase = 16;
inline constexpr std::uint8_t parameterBase = 32;
}  // namespace Object

namespace Session {
inline constexpr StateKey hostName{0, 0};     // string
inline constexpr StateKey hostVersion{0, 1};  // string
inline constexpr StateKey page{0, 2};         // number: a Page raw value
inline constexpr StateKey bankText{0, 3};     // string
inline constexpr StateKey mixMode{0, 4};      // number
inline constexpr StateKey lowerMode{0, 5};    // number
inline constexpr StateKey deviceMode{0, 6};   // number
}  // namespace Session

namespace Transport {
inline constexpr StateKey playing{1, 0};         // flag
inline constexpr StateKey recording{1, 1};       // flag
inline constexpr StateKey cycle{1, 2};           // flag
inline constexpr StateKey metronome{1, 3};       // flag
inline constexpr StateKey tempoText{1, 4};       // string
inline constexpr StateKey timeText{1, 5};        // string
inline constexpr StateKey timeFormat{1, 6};      // number
inline constexpr StateKey cycleStartText{1, 7};  // string
inline constexpr StateKey cycleEndText{1, 8};    // string
}  // namespace Transport

namespace Device {
inline constexpr StateKey name{3, 0};       // string
inline constexpr StateKey bankTitle{3, 1};  // string
}  // namespace Device

namespace Master {
inline constexpr StateKey volume{4, 0};      // number 0-16383
inline constexpr StateKey volumeText{4, 1};  // string
inline constexpr StateKey name{4, 2};        // string
}  // namespace Master

// Fields of a channel: the selected track or a bank channel.
namespace ChannelField {
inline constexpr std::uint8_t name = 0;             // string
inline constexpr std::uint8_t color = 1;            // color
inline constexpr std::uint8_t volume = 2;           // number 0-16383
inline constexpr std::uint8_t volumeText = 3;       // string
inline constexpr std::uint8_t pan = 4;              // number 0-16383
inline constexpr std::uint8_t panText = 5;          // string
inline constexpr std::uint8_t mute = 6;             // flag
inline constexpr std::uint8_t solo = 7;             // flag
inline constexpr std::uint8_t recordArm = 8;        // flag
inline constexpr std::uint8_t monitor = 9;          // flag
inline constexpr std::uint8_t selected = 10;        // flag
inline constexpr std::uint8_t exists = 11;          // flag: the bank slot holds a channel
inline constexpr std::uint8_t meter = 12;           // number 0-16383
inline constexpr std::uint8_t uniqueID = 13;        // number
inline constexpr std::uint8_t readAutomation = 14;  // flag
inline constexpr std::uint8_t writeAutomation = 15; // flag
inline constexpr std::uint8_t editorOpen = 16;      // flag
inline constexpr std::uint8_t instrumentOpen = 17;  // flag
}  // namespace ChannelField

// Fields of a parameter slot.
namespace ParameterField {
inline constexpr std::uint8_t title = 0;      // string
inline constexpr std::uint8_t value = 1;      // number 0-16383
inline constexpr std::uint8_t valueText = 2;  // string
inline constexpr std::uint8_t owner = 3;      // string: what the parameter belongs to
inline constexpr std::uint8_t bipolar = 4;    // flag: the value is centred
}  // namespace ParameterField

namespace detail {
[[noreturn]] void indexOutOfRange(const char* function, int index);
}

constexpr StateKey selectedTrack(std::uint8_t field) { return StateKey(Object::selectedTrack, field); }

// index 0-7; anything else stops the program.
constexpr StateKey bankChannel(int index, std::uint8_t field) {
    if (index < 0 || index > 7) detail::indexOutOfRange("bankChannel", index);
    return StateKey(static_cast<std::uint8_t>(Object::bankChannelBase + index), field);
}

// index 0-7; anything else stops the program.
constexpr StateKey parameter(int index, std::uint8_t field) {
    if (index < 0 || index > 7) detail::indexOutOfRange("parameter", index);
    return StateKey(static_cast<std::uint8_t>(Object::parameterBase + index), field);
}

// The page the Push shows.
enum class Page : int { track = 0, mix = 1, device = 2, tracks = 3 };

// 0-3 give the pages; anything else nothing.
constexpr std::optional<Page> pageFromRawValue(std::int64_t raw) {
    if (raw < 0 || raw > 3) return std::nullopt;
    return static_cast<Page>(raw);
}

// Session.page when it holds a page's number, else track.
Page currentPage(const RemoteState& state);

}  // namespace StateKeys
}  // namespace corvane
