#pragma once
// A whole file as text, for tests that check what was written; "" when it cannot be read.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace corvane {

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace corvane
