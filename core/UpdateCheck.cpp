#include "core/UpdateCheck.h"

#include <algorithm>
#include <charconv>
#include <nlohmann/json.hpp>

#include "core/TextPieces.h"

namespace corvane::UpdateCheck {

namespace {

using nlohmann::json;

// A decimal integer with an optional "+", nothing else; 0 for anything that is not one.
std::int64_t number(std::string_view text) {
    if (text.size() > 1 && text.front() == '+') text.remove_prefix(1);
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || stop != end) return 0;
    return value;
}

// The changelog when it is an array of objects only; anything else counts as none.
const json* changelogEntries(const json& root) {
    const auto found = root.find("changelog");
    if (found == root.end() || !found->is_array()) return nullptr;
    if (!std::all_of(found->begin(), found->end(), [](const json& entry) { return entry.is_object(); }))
        return nullptr;
    return &*found;
}

}  // namespace

Expected<ReleaseInfo, UpdateCheckError> parse(std::span<const std::uint8_t> data) {
    const json root = json::parse(data.begin(), data.end(), nullptr, /*allow_exceptions=*/false);
    if (root.is_discarded() || !root.is_object()) return Unexpected(UpdateCheckError::notJSON);
    const auto version = root.find("version");
    if (version == root.end() || !version->is_string() || version->get_ref<const std::string&>().empty())
        return Unexpected(UpdateCheckError::missingVersion);

    ReleaseInfo info;
    info.version = version->get<std::string>();
    const json* changelog = changelogEntries(root);
    if (changelog == nullptr) return info;
    for (const json& entry : *changelog) {
        const auto entryVersion = entry.find("version");
        if (entryVersion == entry.end() || !entryVersion->is_string() ||
            entryVersion->get_ref<const std::string&>() != info.version)
            continue;
        if (const auto date = entry.find("date"); date != entry.end() && date->is_string())
            info.date = date->get<std::string>();
        if (const auto notes = entry.find("notes"); notes != entry.end() && notes->is_array()) {
            for (const json& note : *notes) {
                if (note.is_string()) info.notes.push_back(note.get<std::string>());
            }
        }
        break;
    }
    return info;
}

Expected<ReleaseInfo, UpdateCheckError> parse(std::string_view data) {
    return parse(std::span(reinterpret_cast<const std::uint8_t*>(data.data()), data.size()));
}

std::vector<std::int64_t> components(std::string_view version) {
    const auto parts = textPieces(version, "-");
    const std::string_view release = parts.empty() ? std::string_view() : parts.front();
    std::vector<std::int64_t> numbers;
    for (std::string_view piece : textPieces(release, ".")) numbers.push_back(number(piece));
    if (numbers.size() < 3) numbers.resize(3, 0);
    return numbers;
}

bool isNewer(std::string_view a, std::string_view than) { return components(a) > components(than); }

std::string availableMessage(const ReleaseInfo& info, std::string_view current) {
    std::string text = "Corvane " + info.version + " is available (you have ";
    text += current;
    text += ").";
    if (info.notes.empty()) return text;
    text += "\n\nWhat's new:\n";
    const std::size_t shown = std::min(info.notes.size(), maxNotes);
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0) text += '\n';
        text += "\u2022 " + info.notes[i];
    }
    if (info.notes.size() > maxNotes) text += "\n\u2022 \u2026";
    return text;
}

std::string upToDateMessage(std::string_view current) {
    std::string text = "Corvane ";
    text += current;
    text += " is the latest version.";
    return text;
}

}  // namespace corvane::UpdateCheck
