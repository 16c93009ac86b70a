#include "hardware/AlsaPortIdentities.h"

#include <limits>

namespace corvane {

void AlsaPortIdentities::portStarted(Address port) {
    // A listing may have met the port already; it keeps the ID it was shown with.
    if (!assigned_.contains(port)) assigned_[port] = fresh();
}

void AlsaPortIdentities::portExited(Address port) { assigned_.erase(port); }

void AlsaPortIdentities::clientExited(int client) {
    Address first = address(client, 0);
    assigned_.erase(assigned_.lower_bound(first), assigned_.lower_bound(first + 256));
}

void AlsaPortIdentities::setFixed(Address port, std::int32_t uniqueID) { fixed_[port] = uniqueID; }

void AlsaPortIdentities::removeFixed(Address port) { fixed_.erase(port); }

std::int32_t AlsaPortIdentities::uniqueID(Address port) {
    if (auto own = fixed_.find(port); own != fixed_.end()) return own->second;
    auto [entry, inserted] = assigned_.try_emplace(port, 0);
    if (inserted) entry->second = fresh();
    return entry->second;
}

std::int32_t AlsaPortIdentities::fresh() {
    last_ = last_ == std::numeric_limits<std::int32_t>::max() ? 1 : last_ + 1;
    return last_;
}

}  // namespace corvane
