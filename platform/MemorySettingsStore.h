#pragma once
// Settings kept in memory only, for tests of the code that reads and writes settings.

#include "platform/SettingsStore.h"

#include <map>
#include <mutex>

namespace corvane {

class MemorySettingsStore : public SettingsStore {
public:
    MemorySettingsStore() = default;
    explicit MemorySettingsStore(std::map<std::string, SettingValue> values) : values_(std::move(values)) {}
    MemorySettingsStore(const MemorySettingsStore&) = delete;
    MemorySettingsStore& operator=(const MemorySettingsStore&) = delete;

    std::optional<SettingValue> value(const std::string& key) const override {
        std::lock_guard lock(mutex_);
        auto found = values_.find(key);
        if (found == values_.end()) return std::nullopt;
        return found->second;
    }
    void set(const std::string& key, SettingValue value) override {
        std::lock_guard lock(mutex_);
        values_[key] = std::move(value);
    }
    void remove(const std::string& key) override {
        std::lock_guard lock(mutex_);
        values_.erase(key);
    }
    void flush() override {}

    // Everything stored, in key order.
    std::map<std::string, SettingValue> values() const {
        std::lock_guard lock(mutex_);
        return values_;
    }

private:
    mutable std::mutex mutex_;
    std::map<std::string, SettingValue> values_;
};

}  // namespace corvane
