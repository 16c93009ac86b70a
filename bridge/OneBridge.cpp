#include "bridge/OneBridge.h"

namespace corvane::OneBridge {

std::string alreadyRunning(std::optional<pid_t> holder) {
    std::string text = "corvane-bridge is already running";
    if (holder) text += " (process " + std::to_string(*holder) + ")";
    return text;
}

}  // namespace corvane::OneBridge
