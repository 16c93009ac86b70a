#include "core/RemoteState.h"

#include "core/Overloaded.h"

namespace corvane {

namespace {

// True when the stored value already equals the one a message carries, so the message can be
// passed over without building a value (and copying its text).
bool holds(const StateValue& stored, const std::string& text) {
    const auto* s = stored.as<StateValue::String>();
    return s && s->text == text;
}
bool holds(const StateValue& stored, std::int64_t number) {
    const auto* n = stored.as<StateValue::Number>();
    return n && n->value == number;
}
bool holds(const StateValue& stored, RGB color) {
    const auto* c = stored.as<StateValue::Color>();
    return c && c->color == color;
}

}  // namespace

bool RemoteState::apply(const HostMessage& message) {
    const auto assign = [this](StateKey key, const auto& payload, auto make) {
        const auto it = values_.find(key);
        if (it != values_.end()) {
            if (holds(it->second, payload)) return false;
            it->second = make(payload);
        } else {
            values_.emplace(key, make(payload));
        }
        ++generation_;
        return true;
    };
    using M = HostMessage;
    return std::visit(
        Overloaded{
            [&](const M::SetString& m) {
                return assign(m.key, m.text, [](const std::string& s) { return StateValue::string(s); });
            },
            [&](const M::SetNumber& m) { return assign(m.key, m.value, StateValue::number); },
            [&](const M::SetColor& m) { return assign(m.key, m.color, StateValue::color); },
            [&](const M::ClearObject& m) { return clearObject(m.object); },
            [](const auto&) { return false; },
        },
        message.value);
}

bool RemoteState::set(StateKey key, StateValue value) {
    const auto [it, inserted] = values_.try_emplace(key, std::move(value));  // moves only when it inserts
    if (!inserted) {
        if (it->second == value) return false;
        it->second = std::move(value);
    }
    ++generation_;
    return true;
}

bool RemoteState::clearObject(std::uint8_t object) {
    if (object >= 128) return false;  // no key has such an object
    const auto first = values_.lower_bound(StateKey(object, 0));
    const auto last = object == 127 ? values_.end() : values_.lower_bound(StateKey(static_cast<std::uint8_t>(object + 1), 0));
    if (first == last) return false;
    values_.erase(first, last);
    ++generation_;
    return true;
}

void RemoteState::removeAll() {
    if (values_.empty()) return;
    values_.clear();
    ++generation_;
}

std::optional<std::int64_t> RemoteState::number(StateKey key) const {
    if (const auto* n = find<StateValue::Number>(key)) return n->value;
    return std::nullopt;
}

std::optional<std::string> RemoteState::string(StateKey key) const {
    if (const auto* s = find<StateValue::String>(key)) return s->text;
    return std::nullopt;
}

std::optional<RGB> RemoteState::color(StateKey key) const {
    if (const auto* c = find<StateValue::Color>(key)) return c->color;
    return std::nullopt;
}

std::optional<double> RemoteState::normalized(StateKey key) const {
    if (const auto* n = find<StateValue::Number>(key)) return static_cast<double>(n->value) / 16383.0;
    return std::nullopt;
}

bool RemoteState::flag(StateKey key) const {
    const auto* n = find<StateValue::Number>(key);
    return n && n->value != 0;
}

}  // namespace corvane
