#pragma once
// What the bridge tells the Cubase script.

#include <iosfwd>
#include <string>
#include <utility>
#include <variant>

namespace corvane {

struct BridgeMessage {
    struct BridgeHello {
        std::string bridgeVersion;
        bool pushConnected;
        bool operator==(const BridgeHello&) const = default;
    };
    struct PushStatus {
        bool connected;
        bool operator==(const PushStatus&) const = default;
    };
    struct RequestResync {
        bool operator==(const RequestResync&) const = default;
    };

    using Case = std::variant<BridgeHello, PushStatus, RequestResync>;
    Case value;

    static BridgeMessage bridgeHello(std::string bridgeVersion, bool pushConnected) {
        return {BridgeHello{std::move(bridgeVersion), pushConnected}};
    }
    static BridgeMessage pushStatus(bool connected) { return {PushStatus{connected}}; }
    static BridgeMessage requestResync() { return {RequestResync{}}; }

    template <class T>
    const T* as() const {
        return std::get_if<T>(&value);
    }
    template <class T>
    bool is() const {
        return std::holds_alternative<T>(value);
    }

    bool operator==(const BridgeMessage&) const = default;
};

// Readable form for test failures and debugging, e.g. bridgeHello("0.4.3", true).
std::string describe(const BridgeMessage& message);
void PrintTo(const BridgeMessage& message, std::ostream* out);

}  // namespace corvane
