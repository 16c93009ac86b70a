#include "PushDisplay/Slots.h"

#include "platform/Precondition.h"
#include "core/StateKeys.h"

namespace corvane::Slots {

namespace {
void checkIndex(int i) { precondition(i >= 0 && i <= 7, "parameter slot outside 0-7"); }
}  // namespace

ParameterColumnModel column(const RemoteState& state, int i, bool touched) {
    checkIndex(i);
    using namespace StateKeys;
    ParameterColumnModel model;
    model.title = state.string(parameter(i, ParameterField::title)).value_or("");
    model.valueText = state.string(parameter(i, ParameterField::valueText)).value_or("");
    model.normalized = state.normalized(parameter(i, ParameterField::value));
    model.touched = touched;
    if (model.title.empty() && model.valueText.empty() && !model.normalized) return model;
    model.bipolar = state.flag(parameter(i, ParameterField::bipolar));
    model.enabled = true;
    return model;
}

std::string owner(const RemoteState& state, int i) {
    checkIndex(i);
    return state.string(StateKeys::parameter(i, StateKeys::ParameterField::owner)).value_or("");
}

}  // namespace corvane::Slots
