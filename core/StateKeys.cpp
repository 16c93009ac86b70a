#include "core/StateKeys.h"

#include "platform/Precondition.h"
#include "core/RemoteState.h"

namespace corvane::StateKeys {

void detail::indexOutOfRange(const char* function, int index) {
    preconditionFailure(std::string("StateKeys::") + function + " index must be 0-7 (got " + std::to_string(index) +
                        ")");
}

Page currentPage(const RemoteState& state) {
    const auto raw = state.number(Session::page);
    return raw ? pageFromRawValue(*raw).value_or(Page::track) : Page::track;
}

}  // namespace corvane::StateKeys
