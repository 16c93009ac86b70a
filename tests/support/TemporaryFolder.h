#pragma once
// A new folder of the test's own in the system's temporary folder, for files a test writes.

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace corvane {

// "<temporary folder>/<prefix>-XXXXXX", made empty and private to this user; empty when it could
// not be made. The caller removes it.
inline std::filesystem::path newTemporaryFolder(std::string_view prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) return {};
    return pattern;
}

}  // namespace corvane
