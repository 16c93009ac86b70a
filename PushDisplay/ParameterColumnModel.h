#pragma once
// The content of one parameter column under an encoder.

#include <optional>
#include <string>
#include <utility>

namespace corvane {

struct ParameterColumnModel {
    ParameterColumnModel() = default;  // empty
    ParameterColumnModel(std::string title, std::string valueText, std::optional<double> normalized, bool bipolar,
                         bool touched, bool enabled)
        : title(std::move(title)),
          valueText(std::move(valueText)),
          normalized(normalized),
          bipolar(bipolar),
          touched(touched),
          enabled(enabled) {}

    std::string title;      // may be empty
    std::string valueText;  // as the host formats it; may be empty
    std::optional<double> normalized;  // 0...1 for the bar; absent draws no bar
    bool bipolar = false;   // the bar grows from the column's centre
    bool touched = false;   // the encoder is being touched: highlight the column
    bool enabled = false;   // the column has content; a disabled one shows at most the highlight

    static const ParameterColumnModel empty;

    bool operator==(const ParameterColumnModel&) const = default;
};

inline const ParameterColumnModel ParameterColumnModel::empty{};

}  // namespace corvane
