#pragma once
// What the release folder's version file says about the newest release.

#include <string>
#include <vector>

namespace corvane {

struct ReleaseInfo {
    std::string version;
    std::string date;                // empty when the file gives none
    std::vector<std::string> notes;  // in display order, may be empty

    bool operator==(const ReleaseInfo&) const = default;
};

// Why a version file could not be read. The tray words the failure itself.
enum class UpdateCheckError {
    notJSON,         // the body is not a JSON object
    missingVersion,  // no usable "version"
};

}  // namespace corvane
