#pragma once
// What the bridge publishes about its connections: the tray icon's colour, its tooltip and the
// status lines at the top of its menu.

#include <optional>
#include <string>
#include <vector>

namespace corvane {

struct BridgeStatus {
    enum class Light { ok, waiting, problem };

    bool cubaseConnected = false;
    bool pushConnected = false;
    bool displayAttached = false;
    bool diagnostics = false;  // the setup page is open on its diagnostics tab
    std::string host;          // host application name and version, may be empty
    std::optional<std::string> problem;

    Light light() const;
    std::vector<std::string> menuLines() const;
    std::string tooltip() const;

    bool operator==(const BridgeStatus&) const = default;

    // Longest problem text the menu shows, in user-perceived characters.
    static constexpr std::size_t menuProblemLength = 90;
};

// The first `count` user-perceived characters of UTF-8 text: never cut inside a multi-byte
// sequence, nor between a character and the marks, joiners and modifiers that belong to it.
// Bytes that are not valid UTF-8 count one character each and are kept as they are.
std::string prefixOfCharacters(const std::string& text, std::size_t count);

}  // namespace corvane
