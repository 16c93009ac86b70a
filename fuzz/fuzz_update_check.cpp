// Reads the input as the release folder's version file and as version texts, and checks that
// what comes out is consistent with what went in.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "core/UpdateCheck.h"
#include "fuzz/Check.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    if (const auto info = UpdateCheck::parse(bytes)) {
        check(!info->version.empty());
        const std::string message = UpdateCheck::availableMessage(*info, "0.4.3");
        check(message.starts_with("Corvane " + info->version + " is available"));
        check(!UpdateCheck::isNewer(info->version, info->version));
    }
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::size_t half = size / 2;
    const std::string_view a = text.substr(0, half);
    const std::string_view b = text.substr(half);
    check(UpdateCheck::components(a).size() >= 3);
    check(!(UpdateCheck::isNewer(a, b) && UpdateCheck::isNewer(b, a)));
    return 0;
}
