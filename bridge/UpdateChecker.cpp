#include "bridge/UpdateChecker.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

#include "core/UpdateCheck.h"
#include "platform/MainQueue.h"
#include "platform/SerialQueue.h"

namespace corvane::UpdateChecker {

namespace {

struct Body {
    std::string bytes;
    bool tooLarge = false;
};

std::size_t received(char* data, std::size_t size, std::size_t count, void* user) {
    auto* body = static_cast<Body*>(user);
    const std::size_t length = size * count;
    if (body->bytes.size() + length > maxBodyBytes) {
        body->tooLarge = true;
        return 0;  // ends the transfer
    }
    body->bytes.append(data, length);
    return length;
}

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

FetchReply perform(const std::string& url) {
    FetchReply reply;
    const std::unique_ptr<CURL, EasyDeleter> handle(curl_easy_init());
    if (!handle) {
        reply.transportError = "the network library could not start";
        return reply;
    }
    CURL* curl = handle.get();
    // Proxies keep no copy either: the answer must be the server's current file.
    const std::unique_ptr<curl_slist, ListDeleter> headers(
        curl_slist_append(nullptr, "Cache-Control: no-cache"));
    char error[CURL_ERROR_SIZE] = {};
    Body body;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, timeoutMilliseconds);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, userAgent);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, received);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);

    const CURLcode code = curl_easy_perform(curl);
    if (body.tooLarge) {
        reply.transportError = "the release file is larger than " + std::to_string(maxBodyBytes) + " bytes";
    } else if (code != CURLE_OK) {
        reply.transportError = error[0] != '\0' ? std::string(error) : std::string(curl_easy_strerror(code));
    } else {
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
        reply.body = std::move(body.bytes);
    }
    return reply;
}

}  // namespace

UpdateResult result(const FetchReply& reply) {
    if (reply.transportError) return Unexpected(UpdateFailure{*reply.transportError});
    if (reply.status != 200)
        return Unexpected(UpdateFailure{"the server answered " + std::to_string(reply.status)});
    auto info = UpdateCheck::parse(reply.body);
    if (!info) return Unexpected(UpdateFailure{"the release file could not be read"});
    return std::move(*info);
}

UpdateFetch curlFetch() {
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    auto queue = std::make_shared<SerialQueue>("update-check");
    return [queue](const std::string& url, std::function<void(FetchReply)> completion) {
        queue->async([url, completion = std::move(completion)] {
            FetchReply reply = perform(url);
            MainQueue::async([completion, reply = std::move(reply)] { completion(reply); });
        });
    };
}

}  // namespace corvane::UpdateChecker
