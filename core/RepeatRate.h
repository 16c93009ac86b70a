#pragma once
// Note-repeat rates, one per scene button.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace corvane {

enum class RepeatRate : std::uint8_t {
    quarter = 0,
    quarterTriplet = 1,
    eighth = 2,
    eighthTriplet = 3,
    sixteenth = 4,
    sixteenthTriplet = 5,
    thirtySecond = 6,
    thirtySecondTriplet = 7,
};

inline constexpr std::array<RepeatRate, 8> allRepeatRates{
    RepeatRate::quarter,      RepeatRate::quarterTriplet,   RepeatRate::eighth,
    RepeatRate::eighthTriplet, RepeatRate::sixteenth,       RepeatRate::sixteenthTriplet,
    RepeatRate::thirtySecond, RepeatRate::thirtySecondTriplet};

constexpr int rawValue(RepeatRate rate) { return static_cast<int>(rate); }

constexpr std::optional<RepeatRate> repeatRateFromRaw(std::int64_t raw) {
    if (raw < 0 || raw > 7) return std::nullopt;
    return static_cast<RepeatRate>(raw);
}

constexpr std::string_view name(RepeatRate rate) {
    constexpr std::array<std::string_view, 8> names{"1/4",  "1/4t",  "1/8",  "1/8t",
                                                    "1/16", "1/16t", "1/32", "1/32t"};
    return names[static_cast<std::size_t>(rawValue(rate))];
}

// The period between repeated notes, in quarter notes. A triplet is two thirds of its
// straight neighbour.
constexpr double beats(RepeatRate rate) {
    constexpr std::array<double, 4> straight{1.0, 0.5, 0.25, 0.125};
    const double v = straight[static_cast<std::size_t>(rawValue(rate) / 2)];
    return rawValue(rate) % 2 == 0 ? v : (v + v) / 3.0;
}

// Scene button 0 (controller 43) picks the fastest rate, scene button 7 the slowest.
constexpr int sceneButton(RepeatRate rate) { return 7 - rawValue(rate); }

constexpr std::optional<RepeatRate> repeatRateFromSceneButton(int index) {
    if (index < 0 || index > 7) return std::nullopt;
    return repeatRateFromRaw(7 - index);
}

}  // namespace corvane
