#pragma once
// The bridge's copy of the host state that the Cubase script sends: a flat set of keyed values.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "core/HostMessage.h"
#include "core/StateKey.h"
#include "core/StateValue.h"

namespace corvane {

// Has no lock: every user keeps to one thread or queue (the bridge's main queue).
class RemoteState {
public:
    using Values = std::map<StateKey, StateValue>;

    RemoteState() = default;
    RemoteState(const RemoteState&) = delete;
    RemoteState& operator=(const RemoteState&) = delete;

    // Applies a setString, setNumber, setColor or clearObject; every other message changes
    // nothing. Returns whether anything changed.
    bool apply(const HostMessage& message);

    // Stores the value unless the key already holds an equal one of the same kind; returns
    // whether it stored.
    bool set(StateKey key, StateValue value);

    // Removes every key of one object; returns whether there was one.
    bool clearObject(std::uint8_t object);

    void removeAll();

    const Values& values() const { return values_; }
    // Grows by one for every operation that changed the values.
    std::uint64_t generation() const { return generation_; }

    // Each reader gives nothing when the key is absent or holds another kind of value.
    std::optional<std::int64_t> number(StateKey key) const;
    std::optional<std::string> string(StateKey key) const;
    std::optional<RGB> color(StateKey key) const;
    // The number over 16383, unclamped.
    std::optional<double> normalized(StateKey key) const;
    // True only for a number other than 0.
    bool flag(StateKey key) const;

private:
    template <class T>
    const T* find(StateKey key) const {
        const auto it = values_.find(key);
        return it == values_.end() ? nullptr : it->second.as<T>();
    }

    Values values_;
    std::uint64_t generation_ = 0;
};

}  // namespace corvane
