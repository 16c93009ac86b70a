#pragma once
// A row of button labels taken apart, so a test can compare the captions and the lit cells
// each as one list.

#include <string>
#include <vector>

#include "PushDisplay/ButtonLabel.h"

namespace corvane::testing {

inline std::vector<std::string> texts(const std::vector<ButtonLabel>& labels) {
    std::vector<std::string> result;
    for (const auto& label : labels) result.push_back(label.text);
    return result;
}

inline std::vector<bool> lit(const std::vector<ButtonLabel>& labels) {
    std::vector<bool> result;
    for (const auto& label : labels) result.push_back(label.active);
    return result;
}

}  // namespace corvane::testing
