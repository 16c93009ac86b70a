#pragma once
// std::expected where the standard library offers it. clang 14 (the fuzzing compiler) cannot
// use libstdc++'s <expected>, so it gets a small stand-in with the same surface.

#include <version>

#if defined(__cpp_lib_expected)
#include <expected>

namespace corvane {
template <class T, class E>
using Expected = std::expected<T, E>;
template <class E>
using Unexpected = std::unexpected<E>;
}  // namespace corvane

#else
#include <stdexcept>
#include <utility>
#include <variant>

namespace corvane {

template <class E>
class Unexpected {
public:
    explicit Unexpected(E error) : error_(std::move(error)) {}
    const E& error() const& { return error_; }
    E& error() & { return error_; }
    E&& error() && { return std::move(error_); }

private:
    E error_;
};

template <class E>
Unexpected(E) -> Unexpected<E>;

template <class T, class E>
class Expected {
public:
    using value_type = T;
    using error_type = E;

    Expected() requires std::is_default_constructible_v<T> : state_(std::in_place_index<0>) {}
    template <class U = T>
        requires std::is_constructible_v<T, U&&>
    Expected(U&& value) : state_(std::in_place_index<0>, std::forward<U>(value)) {}
    template <class G>
    Expected(Unexpected<G> error) : state_(std::in_place_index<1>, std::move(error).error()) {}

    bool has_value() const { return state_.index() == 0; }
    explicit operator bool() const { return has_value(); }

    T& value() & { check(); return std::get<0>(state_); }
    const T& value() const& { check(); return std::get<0>(state_); }
    T&& value() && { check(); return std::get<0>(std::move(state_)); }
    T& operator*() & { return std::get<0>(state_); }
    const T& operator*() const& { return std::get<0>(state_); }
    T* operator->() { return &std::get<0>(state_); }
    const T* operator->() const { return &std::get<0>(state_); }
    const E& error() const& { return std::get<1>(state_); }
    E& error() & { return std::get<1>(state_); }

    template <class U>
    T value_or(U&& fallback) const& {
        return has_value() ? std::get<0>(state_) : static_cast<T>(std::forward<U>(fallback));
    }

    friend bool operator==(const Expected& a, const Expected& b) { return a.state_ == b.state_; }

private:
    void check() const {
        if (!has_value()) throw std::logic_error("bad expected access");
    }
    std::variant<T, E> state_;
};

}  // namespace corvane
#endif
