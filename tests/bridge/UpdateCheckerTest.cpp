#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "bridge/UpdateChecker.h"
#include "platform/MainQueue.h"

namespace corvane {
namespace {

TEST(UpdateCheckerResult, WordsEveryFailure) {
    EXPECT_EQ(UpdateChecker::result(FetchReply{"Timeout was reached", 0, ""}).error().why,
              "Timeout was reached");
    EXPECT_EQ(UpdateChecker::result(FetchReply{std::nullopt, 404, R"({"version": "1"})"}).error().why,
              "the server answered 404");
    EXPECT_EQ(UpdateChecker::result(FetchReply{std::nullopt, 204, ""}).error().why,
              "the server answered 204");
    EXPECT_EQ(UpdateChecker::result(FetchReply{std::nullopt, 200, ""}).error().why,
              "the release file could not be read");
    EXPECT_EQ(UpdateChecker::result(FetchReply{std::nullopt, 200, R"({"version": 1})"}).error().why,
              "the release file could not be read");
    const auto info = UpdateChecker::result(FetchReply{std::nullopt, 200, R"({"version": "0.5"})"});
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->version, "0.5");
}

// Answers one request on a port of the loopback interface with a fixed response.
class OneShotServer {
public:
    explicit OneShotServer(std::string response) : response_(std::move(response)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(listener_, 1) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            ADD_FAILURE() << "no loopback socket";
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~OneShotServer() {
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }

    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/releases/version.json"; }
    // The request as received; read after the reply arrived.
    const std::string& request() const { return request_; }

private:
    void serve() {
        const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) return;
        char buffer[4096];
        while (request_.find("\r\n\r\n") == std::string::npos) {
            const ssize_t n = ::read(connection, buffer, sizeof buffer);
            if (n <= 0) break;
            request_.append(buffer, static_cast<std::size_t>(n));
        }
        std::size_t done = 0;
        while (done < response_.size()) {
            const ssize_t n = ::write(connection, response_.data() + done, response_.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        ::close(connection);
    }

    std::string response_;
    int listener_ = -1;
    int port_ = 0;
    std::string request_;
    std::thread thread_;
};

std::string response(const std::string& status, const std::string& body) {
    return "HTTP/1.1 " + status +
           "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

std::optional<FetchReply> fetch(const UpdateFetch& fetcher, const std::string& url) {
    std::optional<FetchReply> reply;
    bool onMain = false;
    fetcher(url, [&](FetchReply answer) {
        onMain = MainQueue::isCurrent();
        reply = std::move(answer);
    });
    EXPECT_TRUE(MainQueue::pumpUntil([&] { return reply.has_value(); }, std::chrono::seconds(15)));
    EXPECT_TRUE(onMain);
    return reply;
}

TEST(UpdateCheckerFetch, SendsTheUserAgentAndHandsBackStatusAndBody) {
    const UpdateFetch fetcher = UpdateChecker::curlFetch();
    {
        OneShotServer server(response("404 Not Found", "gone"));
        const auto reply = fetch(fetcher, server.url());
        ASSERT_TRUE(reply);
        EXPECT_FALSE(reply->transportError);
        EXPECT_EQ(reply->status, 404);
        EXPECT_EQ(reply->body, "gone");
        EXPECT_EQ(server.request().rfind("GET /releases/version.json HTTP/1.1\r\n", 0), 0u)
            << server.request();
        EXPECT_NE(server.request().find("\r\nUser-Agent: Corvane/0.4.3\r\n"), std::string::npos)
            << server.request();
        EXPECT_NE(server.request().find("\r\nCache-Control: no-cache\r\n"), std::string::npos)
            << server.request();
    }
    {
        OneShotServer server(response("200 OK", R"({"version": "0.5.0"})"));
        const auto reply = fetch(fetcher, server.url());
        ASSERT_TRUE(reply);
        EXPECT_EQ(UpdateChecker::result(*reply).value().version, "0.5.0");
    }
}

TEST(UpdateCheckerFetch, ReportsWhyNoReplyCame) {
    const UpdateFetch fetcher = UpdateChecker::curlFetch();
    std::string url;
    {
        OneShotServer server("");
        url = server.url();
    }
    auto reply = fetch(fetcher, url);  // nobody listens there any more
    ASSERT_TRUE(reply && reply->transportError);
    EXPECT_NE(reply->transportError->find("onnect"), std::string::npos) << *reply->transportError;

    reply = fetch(fetcher, "file:///etc/hostname");
    ASSERT_TRUE(reply && reply->transportError);
}

TEST(UpdateCheckerFetch, RefusesAnOversizedBody) {
    const UpdateFetch fetcher = UpdateChecker::curlFetch();
    OneShotServer server(response("200 OK", std::string(UpdateChecker::maxBodyBytes + 1, ' ')));
    const auto reply = fetch(fetcher, server.url());
    ASSERT_TRUE(reply && reply->transportError);
    EXPECT_EQ(*reply->transportError, "the release file is larger than 1048576 bytes");
}

}  // namespace
}  // namespace corvane
