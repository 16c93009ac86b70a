#pragma once
// Where settings are kept: the user defaults in the program, a map in memory in tests.
// Every function may be called from any thread.

#include "platform/SettingValue.h"

#include <optional>
#include <string>

namespace corvane {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    virtual std::optional<SettingValue> value(const std::string& key) const = 0;
    virtual void set(const std::string& key, SettingValue value) = 0;
    virtual void remove(const std::string& key) = 0;
    // Puts every value set so far on disk before it returns.
    virtual void flush() = 0;

    // Reads this store; the store must outlive the reader.
    SettingReader reader() const {
        return [this](const std::string& key) { return value(key); };
    }
};

}  // namespace corvane
