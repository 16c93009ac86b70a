#pragma once
// One stored setting as the user defaults hold it, and the number rules for reading it.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace corvane {

using SettingValue = std::variant<bool, std::int64_t, double, std::string>;

// Gives the stored value of a key, or nothing.
using SettingReader = std::function<std::optional<SettingValue>(const std::string& key)>;

// Key-value pairs to store, in order.
using SettingPairs = std::vector<std::pair<std::string, SettingValue>>;

namespace Settings {

// A bool reads as 0 or 1, a double is truncated toward zero and saturated into range,
// a string reads as absent.
std::optional<std::int64_t> integer(const std::optional<SettingValue>& value);

// A number reads as true when it is not zero, a string reads as absent.
std::optional<bool> boolean(const std::optional<SettingValue>& value);

// Only a string reads as text.
std::optional<std::string> text(const std::optional<SettingValue>& value);

}  // namespace Settings
}  // namespace corvane
