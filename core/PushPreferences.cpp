#include "core/PushPreferences.h"

#include <cstddef>

#include "core/PushSysEx.h"

namespace corvane {

std::vector<Bytes> PushPreferences::messages() const {
    std::vector<Bytes> list;
    for (std::size_t input = 0; input < preamps.size(); ++input) {
        if (preamps[input]) list.push_back(PushSysEx::preamp(static_cast<int>(input), *preamps[input]));
    }
    if (aftertouch) list.push_back(PushSysEx::aftertouchMode(*aftertouch));
    if (displayBrightness) list.push_back(PushSysEx::displayBrightness(*displayBrightness));
    if (ledBrightness) list.push_back(PushSysEx::ledBrightness(*ledBrightness));
    return list;
}

}  // namespace corvane
