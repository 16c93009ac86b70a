#pragma once
// Reads the release folder's version file, compares versions and words the two messages the
// tray shows. No networking here.
//
// The file is a JSON object with a non-empty "version" and, optionally, a "changelog" array of
// objects with "version", "date" and "notes" (an array of texts); other keys are ignored.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/Expected.h"
#include "core/ReleaseInfo.h"

namespace corvane::UpdateCheck {

// Release notes listed in the update message; more are shown as one "• …" line.
inline constexpr std::size_t maxNotes = 8;

// Only a body that is no JSON object, or one without a non-empty text "version", is refused;
// every other irregularity gives empty fields. The notes and date come from the first changelog
// entry for that version.
Expected<ReleaseInfo, UpdateCheckError> parse(std::span<const std::uint8_t> data);
Expected<ReleaseInfo, UpdateCheckError> parse(std::string_view data);

// Numeric comparison of the dotted parts before any "-" suffix: 0.4.10 is newer than 0.4.3;
// 1.2 and 1.2.0 are the same; a part that is not a number counts as 0.
bool isNewer(std::string_view a, std::string_view than);

std::string availableMessage(const ReleaseInfo& info, std::string_view current);
std::string upToDateMessage(std::string_view current);

// The numbers of a version text, padded with zeros to at least three.
std::vector<std::int64_t> components(std::string_view version);

}  // namespace corvane::UpdateCheck
