#pragma once

#include <string>
#include <vector>

namespace corvane {

struct Scale {
    std::string name;
    std::vector<int> intervals;  // semitones above the root, ascending, starting with 0
    bool operator==(const Scale&) const = default;
};

}  // namespace corvane
