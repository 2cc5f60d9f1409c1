// nginx and tinyproxy as the helpers start them, asked with LF-only HTTP/1.0 requests over
// raw sockets (the way the downloader asks): files, ranges, Basic authentication, the
// redirect, the proxy path, and stopping by process id.
#include <gtest/gtest.h>

#include "tests/support/loopback.h"
#include "tests/support/nginx_server.h"
#include "tests/support/scripted_server.h"
#include "tests/support/tinyproxy_server.h"

namespace qb::test {
namespace {

using namespace std::chrono_literals;

std::string get(int port, const std::string& target, const std::string& host,
                const std::string& extra = "") {
    return roundTrip(port,
                     "GET " + target + " HTTP/1.0\r\nHost: " + host + "\r\n" + extra + "\r\n");
}

std::string statusLine(const std::string& response) {
    return response.substr(0, response.find_first_of("\r\n"));
}

std::string bodyOf(const std::string& response) {
    const size_t end = response.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : response.substr(end + 4);
}

bool hasHeader(const std::string& response, const std::string& line) {
    return response.find("\r\n" + line + "\r\n") != std::string::npos;
}

class Nginx : public ::testing::Test {
protected:
    void SetUp() override {
        if (!NginxServer::available()) GTEST_SKIP() << "nginx is not installed";
        ASSERT_TRUE(server.writeFile("file.bin", kBody));
        ASSERT_TRUE(server.writeFile("target", "redirected here"));
        ASSERT_TRUE(server.writeFile("private/secret.txt", "for users only"));
        ASSERT_TRUE(server.start()) << server.error();
        host = "127.0.0.1:" + std::to_string(server.port());
    }

    static constexpr const char* kBody = "0123456789abcdefghij";
    NginxServer server;
    std::string host;
};

TEST_F(Nginx, ServesAFileAndItsRanges) {
    const std::string whole = get(server.port(), "/file.bin", host);
    EXPECT_EQ(statusLine(whole), "HTTP/1.1 200 OK");
    EXPECT_EQ(bodyOf(whole), kBody);

    const std::string tail = get(server.port(), "/file.bin", host, "Range: bytes=15-\r\n");
    EXPECT_EQ(statusLine(tail), "HTTP/1.1 206 Partial Content");
    EXPECT_TRUE(hasHeader(tail, "Content-Range: bytes 15-19/20")) << tail;
    EXPECT_TRUE(hasHeader(tail, "Content-Length: 5")) << tail;
    EXPECT_EQ(bodyOf(tail), "fghij");

    EXPECT_EQ(statusLine(get(server.port(), "/file.bin", host, "Range: bytes=20-\r\n")),
              "HTTP/1.1 416 Requested Range Not Satisfiable");
    EXPECT_EQ(statusLine(get(server.port(), "/missing", host)), "HTTP/1.1 404 Not Found");
    EXPECT_TRUE(server.waitForAccessLog("\"GET /file.bin HTTP/1.0\" 200"));
}

TEST_F(Nginx, AsksForCredentialsAndAcceptsThem) {
    const std::string refused = get(server.port(), "/private/secret.txt", host);
    EXPECT_EQ(statusLine(refused), "HTTP/1.1 401 Unauthorized");
    EXPECT_TRUE(hasHeader(refused, "WWW-Authenticate: Basic realm=\"files\"")) << refused;

    const std::string accepted = get(server.port(), "/private/secret.txt", host,
                                     "Authorization: Basic dXNlcjpzZWNyZXQ=\r\n");
    EXPECT_EQ(statusLine(accepted), "HTTP/1.1 200 OK");
    EXPECT_EQ(bodyOf(accepted), "for users only");

    EXPECT_EQ(statusLine(get(server.port(), "/private/secret.txt", host,
                             "Authorization: Basic dXNlcjp3cm9uZw==\r\n")),
              "HTTP/1.1 401 Unauthorized");
}

TEST_F(Nginx, RedirectsToItsTarget) {
    const std::string response = get(server.port(), "/redirect", host);
    EXPECT_EQ(statusLine(response), "HTTP/1.1 302 Moved Temporarily");
    EXPECT_TRUE(hasHeader(response, "Location: http://" + host + "/target")) << response;
}

TEST_F(Nginx, StopsByItsProcessId) {
    const int port = server.port();
    EXPECT_TRUE(server.running());
    server.stop();
    EXPECT_FALSE(server.running());
    LoopbackClient client;
    EXPECT_FALSE(client.connect(port, 500ms));
}

TEST(NginxOptions, RedirectsAndLocationsAreConfigurable) {
    if (!NginxServer::available()) GTEST_SKIP() << "nginx is not installed";
    NginxOptions options;
    options.auth = {{"/members/", "Club", {{"ann", "pw1"}, {"bob", "pw2"}}}};
    options.redirects = {{"/away", "http://127.0.0.1:{port}/elsewhere?x=1", 301}};
    options.extraServerConfig = "location = /port { return 200 \"port {port}\"; }";
    NginxServer server(options);
    ASSERT_TRUE(server.writeFile("members/m.txt", "m"));
    ASSERT_TRUE(server.start()) << server.error();
    const std::string host = "127.0.0.1:" + std::to_string(server.port());

    const std::string away = get(server.port(), "/away", host);
    EXPECT_EQ(statusLine(away), "HTTP/1.1 301 Moved Permanently");
    EXPECT_TRUE(hasHeader(away, "Location: http://" + host + "/elsewhere?x=1")) << away;
    EXPECT_TRUE(hasHeader(get(server.port(), "/members/m.txt", host),
                          "WWW-Authenticate: Basic realm=\"Club\""));
    // "bob:pw2"
    EXPECT_EQ(
        bodyOf(get(server.port(), "/members/m.txt", host, "Authorization: Basic Ym9iOnB3Mg==\r\n")),
        "m");
    EXPECT_EQ(bodyOf(get(server.port(), "/port", host)), "port " + std::to_string(server.port()));
    EXPECT_EQ(statusLine(get(server.port(), "/redirect", host)), "HTTP/1.1 404 Not Found");
}

TEST(Tinyproxy, ForwardsARequestToNginx) {
    if (!NginxServer::available() || !TinyproxyServer::available()) {
        GTEST_SKIP() << "nginx or tinyproxy is not installed";
    }
    NginxServer origin;
    ASSERT_TRUE(origin.writeFile("file.bin", "through the proxy"));
    ASSERT_TRUE(origin.start()) << origin.error();
    TinyproxyServer proxy;
    ASSERT_TRUE(proxy.start()) << proxy.error();

    const std::string host = "127.0.0.1:" + std::to_string(origin.port());
    const std::string response =
        get(proxy.port(), "http://" + host + "/file.bin", host, "Range: bytes=8-\r\n");
    // tinyproxy passes the origin's status line back and asks the origin in HTTP/1.0.
    EXPECT_EQ(statusLine(response), "HTTP/1.1 206 Partial Content") << response;
    EXPECT_EQ(bodyOf(response), "the proxy");
    EXPECT_TRUE(origin.waitForAccessLog("\"GET /file.bin HTTP/1.0\" 206")) << origin.accessLog();
}

TEST(Tinyproxy, ForwardsToAScriptedServerAndStops) {
    if (!TinyproxyServer::available()) GTEST_SKIP() << "tinyproxy is not installed";
    ScriptedServer origin;
    origin.addReply(Reply().send("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nhi"));
    ASSERT_TRUE(origin.start());
    TinyproxyServer proxy;
    ASSERT_TRUE(proxy.start()) << proxy.error();

    const std::string host = "127.0.0.1:" + std::to_string(origin.port());
    const std::string response = get(proxy.port(), "http://" + host + "/a?b=1", host);
    EXPECT_EQ(bodyOf(response), "hi") << response;
    ASSERT_TRUE(origin.waitForRequests(1));
    EXPECT_EQ(origin.request(0).rfind("GET /a?b=1 HTTP/1.", 0), 0u) << origin.request(0);

    const int port = proxy.port();
    proxy.stop();
    EXPECT_FALSE(proxy.running());
    LoopbackClient client;
    EXPECT_FALSE(client.connect(port, 500ms));
}

} // namespace
} // namespace qb::test
