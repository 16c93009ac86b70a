#include "core/BridgeStatus.h"

#include <glib.h>

namespace corvane {

BridgeStatus::Light BridgeStatus::light() const {
    if (problem || !pushConnected) return Light::problem;
    return cubaseConnected ? Light::ok : Light::waiting;
}

std::vector<std::string> BridgeStatus::menuLines() const {
    std::vector<std::string> lines;
    if (cubaseConnected) {
        lines.push_back(host.empty() ? "Cubase: connected" : "Cubase: connected (" + host + ")");
    } else {
        lines.push_back("Cubase: waiting");
    }
    lines.push_back(std::string("Push MIDI: ") + (pushConnected ? "connected" : "waiting"));
    lines.push_back(std::string("Push display: ") + (displayAttached ? "attached" : "waiting"));
    if (problem) lines.push_back("Problem: " + prefixOfCharacters(*problem, menuProblemLength));
    return lines;
}

std::string BridgeStatus::tooltip() const {
    static constexpr const char* separator = " \u00B7 ";
    std::string text = "Corvane: ";
    text += cubaseConnected ? "Cubase connected" : "waiting for Cubase";
    text += separator;
    text += pushConnected ? "Push connected" : "Push MIDI waiting";
    if (problem) {
        text += separator;
        text += *problem;
    }
    return text;
}

namespace {

// The grapheme-cluster classes that decide where one user-perceived character ends, taken from
// GLib's character tables. Close to the Unicode segmentation rules; prepended concatenation
// marks, which no text this status shows carries, start a character of their own.
enum class Kind {
    other,
    cr,
    lf,
    control,
    extend,
    zwj,
    regional,
    hangulL,
    hangulV,
    hangulT,
    hangulLV,
    hangulLVT,
    pictographic
};

Kind kindOf(gunichar c) {
    if (c == '\r') return Kind::cr;
    if (c == '\n') return Kind::lf;
    if (c == 0x200D) return Kind::zwj;
    if (c == 0x200C || (c >= 0x1F3FB && c <= 0x1F3FF) || (c >= 0xE0020 && c <= 0xE007F)) return Kind::extend;
    switch (g_unichar_break_type(c)) {
        case G_UNICODE_BREAK_REGIONAL_INDICATOR:
            return Kind::regional;
        case G_UNICODE_BREAK_HANGUL_L_JAMO:
            return Kind::hangulL;
        case G_UNICODE_BREAK_HANGUL_V_JAMO:
            return Kind::hangulV;
        case G_UNICODE_BREAK_HANGUL_T_JAMO:
            return Kind::hangulT;
        case G_UNICODE_BREAK_HANGUL_LV_SYLLABLE:
            return Kind::hangulLV;
        case G_UNICODE_BREAK_HANGUL_LVT_SYLLABLE:
            return Kind::hangulLVT;
        default:
            break;
    }
    switch (g_unichar_type(c)) {
        case G_UNICODE_NON_SPACING_MARK:
        case G_UNICODE_SPACING_MARK:
        case G_UNICODE_ENCLOSING_MARK:
            return Kind::extend;
        case G_UNICODE_CONTROL:
        case G_UNICODE_LINE_SEPARATOR:
        case G_UNICODE_PARAGRAPH_SEPARATOR:
            return Kind::control;
        case G_UNICODE_OTHER_SYMBOL:
            return Kind::pictographic;
        default:
            return Kind::other;
    }
}

bool isControl(Kind k) { return k == Kind::cr || k == Kind::lf || k == Kind::control; }

struct Segmenter {
    Kind previous = Kind::control;  // the first character always starts a cluster
    int regionalRun = 0;            // regional indicators in a row ending at `previous`
    bool pictographicRun = false;   // `previous` ends a pictograph followed by marks or a joiner

    // True when a new user-perceived character starts at a character of this kind.
    bool startsCluster(Kind k) {
        bool starts = breaksBefore(k);
        regionalRun = k == Kind::regional ? regionalRun + 1 : 0;
        if (k == Kind::pictographic) {
            pictographicRun = true;
        } else if (k != Kind::extend && k != Kind::zwj) {
            pictographicRun = false;
        }
        previous = k;
        return starts;
    }

    bool breaksBefore(Kind k) const {
        if (previous == Kind::cr && k == Kind::lf) return false;
        if (isControl(previous) || isControl(k)) return true;
        switch (previous) {
            case Kind::hangulL:
                if (k == Kind::hangulL || k == Kind::hangulV || k == Kind::hangulLV || k == Kind::hangulLVT)
                    return false;
                break;
            case Kind::hangulLV:
            case Kind::hangulV:
                if (k == Kind::hangulV || k == Kind::hangulT) return false;
                break;
            case Kind::hangulLVT:
            case Kind::hangulT:
                if (k == Kind::hangulT) return false;
                break;
            default:
                break;
        }
        if (k == Kind::extend || k == Kind::zwj) return false;
        if (previous == Kind::zwj && k == Kind::pictographic && pictographicRun) return false;
        if (previous == Kind::regional && k == Kind::regional && regionalRun % 2 == 1) return false;
        return true;
    }
};

}  // namespace

std::string prefixOfCharacters(const std::string& text, std::size_t count) {
    Segmenter segmenter;
    std::size_t characters = 0;
    std::size_t offset = 0;
    while (offset < text.size()) {
        const char* p = text.data() + offset;
        gunichar c = g_utf8_get_char_validated(p, static_cast<gssize>(text.size() - offset));
        std::size_t length = 1;
        Kind kind = Kind::control;  // a stray byte stands alone
        if (c < 0x110000) {
            length = static_cast<std::size_t>(g_unichar_to_utf8(c, nullptr));
            kind = kindOf(c);
        }
        if (segmenter.startsCluster(kind)) {
            if (characters == count) break;
            ++characters;
        }
        offset += length;
    }
    return text.substr(0, offset);
}

}  // namespace corvane
