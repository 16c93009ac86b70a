#pragma once
// Fetching the release folder's version file and turning the reply into the update check's
// result.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "core/Expected.h"
#include "core/ReleaseInfo.h"

namespace corvane {

// What came back from the server.
struct FetchReply {
    std::optional<std::string> transportError;  // no reply at all, and why
    long status = 0;                            // the HTTP status
    std::string body;
};

// Why an update check failed, in words for the log and the alert.
struct UpdateFailure {
    std::string why;
    bool operator==(const UpdateFailure&) const = default;
};

using UpdateResult = Expected<ReleaseInfo, UpdateFailure>;

// Starts a GET of `url`; `completion` runs later, on the main queue.
using UpdateFetch = std::function<void(const std::string& url, std::function<void(FetchReply)> completion)>;

namespace UpdateChecker {

inline constexpr long timeoutMilliseconds = 10'000;
inline constexpr const char* userAgent = "Corvane/0.4.3";
// A version file is a few hundred bytes; a larger body is refused rather than held.
inline constexpr std::size_t maxBodyBytes = 1 << 20;

// A transport error as it is; a status other than 200 as "the server answered <status>";
// otherwise the version file read, or "the release file could not be read".
UpdateResult result(const FetchReply& reply);

// libcurl on a worker queue of its own: 10 s time-out, the user agent above, no cached copy,
// http and https only. Transfers run one after another.
UpdateFetch curlFetch();

}  // namespace UpdateChecker

}  // namespace corvane
