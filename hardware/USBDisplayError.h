#pragma once
// What can go wrong between us and the Push display's USB interface.

#include <stdexcept>
#include <string>
#include <variant>

namespace corvane {

class USBDisplayError : public std::runtime_error {
public:
    // `description` is the underlying error's own text, e.g. libusb's "Resource busy".
    struct OpenFailed {
        std::string description;
        bool operator==(const OpenFailed&) const = default;
    };
    struct TransferFailed {
        std::string description;
        bool operator==(const TransferFailed&) const = default;
    };
    struct ShortTransfer {
        int expected, actual;
        bool operator==(const ShortTransfer&) const = default;
    };
    struct NotFound {
        bool operator==(const NotFound&) const = default;
    };
    struct NotOpen {
        bool operator==(const NotOpen&) const = default;
    };
    // The machine offers no usable USB (libusb cannot start, or cannot report hotplug events).
    struct Unavailable {
        std::string description;
        bool operator==(const Unavailable&) const = default;
    };

    using Case = std::variant<OpenFailed, TransferFailed, ShortTransfer, NotFound, NotOpen, Unavailable>;
    Case value;

    explicit USBDisplayError(Case value);

    static USBDisplayError openFailed(std::string description) {
        return USBDisplayError(OpenFailed{std::move(description)});
    }
    static USBDisplayError transferFailed(std::string description) {
        return USBDisplayError(TransferFailed{std::move(description)});
    }
    static USBDisplayError shortTransfer(int expected, int actual) {
        return USBDisplayError(ShortTransfer{expected, actual});
    }
    static USBDisplayError notFound() { return USBDisplayError(NotFound{}); }
    static USBDisplayError notOpen() { return USBDisplayError(NotOpen{}); }
    static USBDisplayError unavailable(std::string description) {
        return USBDisplayError(Unavailable{std::move(description)});
    }

    template <class T>
    const T* as() const {
        return std::get_if<T>(&value);
    }
    template <class T>
    bool is() const {
        return std::holds_alternative<T>(value);
    }

    static std::string describe(const Case& value);
};

}  // namespace corvane
