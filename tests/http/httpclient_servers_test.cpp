// The client against real servers on loopback: nginx serving files with byte ranges, Basic
// authentication and a redirect, plain on 127.0.0.1 and with TLS on 127.0.0.1 and on [::1]
// only, and tinyproxy as a proxy in front of it (a CONNECT tunnel for https).
#include <stdlib.h>

#include <string>

#include <gtest/gtest.h>

#include "tests/http/httpclient_test.h"
#include "tests/support/nginx_server.h"
#include "tests/support/scripted_server.h"
#include "tests/support/test_certificates.h"
#include "tests/support/tinyproxy_server.h"

namespace httpclient_test {
namespace {

using qb::test::NginxOptions;
using qb::test::NginxServer;
using qb::test::TestCertificates;
using qb::test::TinyproxyServer;

// How nginx listens in one run of the tests.
struct Listener {
    const char* name;
    bool tls;
    bool ipv4;
};

NginxOptions OptionsFor(const Listener& listener) {
    NginxOptions options;
    options.ipv4 = listener.ipv4;
    options.ipv6 = !listener.ipv4;
    if (listener.tls) options.tls = TestCertificates::shared().loopback();
    // The Authorization line the server got, as the body: to see where credentials went.
    // A redirection to the plain server on the port the query names.
    options.extraServerConfig =
        "location = /authorization { return 200 \"[$http_authorization]\"; }\n"
        "location = /back { return 302 \"http://127.0.0.1:$arg_port/plain-target\"; }";
    return options;
}

constexpr size_t kFileSize = 100000;

std::string FileBytes() {
    std::string bytes(kFileSize, '\0');
    uint32_t state = 12345;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

struct Credentials {
    const char16_t* userId;
    const char16_t* password;
    int prompts = 0;
};

int GiveCredentials(LPCWSTR, LPCWSTR, BOOL, LPWSTR userId, LPWSTR password, DWORD_PTR data) {
    Credentials* given = reinterpret_cast<Credentials*>(data);
    ++given->prompts;
    std::u16string user = given->userId, pass = given->password;
    for (size_t i = 0; i <= user.size(); ++i) userId[i] = user.c_str()[i];
    for (size_t i = 0; i <= pass.size(); ++i) password[i] = pass.c_str()[i];
    return 1;
}

class RealServersTest : public ::testing::TestWithParam<Listener> {
protected:
    static void SetUpTestSuite() {
        // This process trusts the test authority alone.
        ASSERT_TRUE(TestCertificates::shared().made()) << TestCertificates::shared().error();
        setenv("SSL_CERT_FILE", TestCertificates::shared().caFile().c_str(), 1);
        unsetenv("SSL_CERT_DIR");
    }
    void SetUp() override {
        if (!NginxServer::available()) GTEST_SKIP() << "nginx is not installed";
        FillDefaultHeaders(headers);
        ASSERT_TRUE(nginx.writeFile("dir/file.bin", file));
        ASSERT_TRUE(nginx.writeFile("target", "redirected here"));
        ASSERT_TRUE(nginx.writeFile("private/secret.txt", "for users only"));
        ASSERT_TRUE(nginx.start()) << nginx.error();
    }

    int Open(const std::string& path) {
        const std::u16string url = U(nginx.url(path));
        return client.Open(url.c_str(), &status, &headers);
    }
    std::string Read(size_t limit) {
        std::string body;
        char buffer[128];
        while (body.size() < limit) {
            DWORD count = static_cast<DWORD>(std::min(sizeof buffer, limit - body.size()));
            if (client.Read(buffer, &count) <= 0 || count == 0) break;
            body.append(buffer, count);
        }
        return body;
    }
    // Fetches the file in two parts, the second by a seek, as a resumed download does.
    void DownloadInTwoParts() {
        ASSERT_EQ(Open("/dir/file.bin"), kResultOk);
        uint64_t size = 0;
        ASSERT_EQ(client.GetSize(&size), kResultOk);
        ASSERT_EQ(size, kFileSize);
        const std::string first = Read(kFileSize * 2 / 5);
        ASSERT_EQ(client.Close(), kResultOk);

        ASSERT_EQ(Open("/dir/file.bin"), kResultOk);
        const int64_t resume = static_cast<int64_t>(first.size());
        ASSERT_EQ(client.Seek(&resume, nullptr, kSeekBegin), kResultOk);
        ASSERT_EQ(client.GetSize(&size), kResultOk);
        EXPECT_EQ(size, kFileSize);
        const std::string rest = Read(kFileSize);
        EXPECT_EQ(client.Position(), kFileSize);
        EXPECT_TRUE(first + rest == file) << "the parts differ from the file";
    }

    const std::string file = FileBytes();
    NginxServer nginx{OptionsFor(GetParam())};
    HttpClient client;
    PropertyList headers{nullptr};
    WORD status = 0;
};

TEST_P(RealServersTest, ResumesAFileFromTheMiddleWithExactBytes) {
    DownloadInTwoParts();
    EXPECT_NE(nginx.accessLog().find("\"GET /dir/file.bin HTTP/1.0\" 206"), std::string::npos)
        << nginx.accessLog();
    WCHAR name[kHttpFileNameCapacity];
    EXPECT_EQ(client.GetFileName(name, kHttpFileNameCapacity), kResultOk);
    EXPECT_EQ(A(name), "file.bin");
}

TEST_P(RealServersTest, RefusesMissingFilesAndRangesPastTheEnd) {
    EXPECT_EQ(Open("/missing"), kHttpRefused);
    EXPECT_EQ(status, 404);
    ASSERT_EQ(Open("/dir/file.bin"), kResultOk);
    const int64_t end = static_cast<int64_t>(kFileSize);
    EXPECT_EQ(client.Seek(&end, nullptr, kSeekBegin), kHttpRefused);
    EXPECT_FALSE(client.IsOpen());
}

TEST_P(RealServersTest, AnswersBasicAuthenticationThroughTheCallback) {
    Credentials right{u"user", u"secret"};
    ASSERT_EQ(client.SetCredentialsCallback(GiveCredentials, reinterpret_cast<DWORD_PTR>(&right)),
              kResultOk);
    ASSERT_EQ(Open("/private/secret.txt"), kResultOk);
    EXPECT_EQ(Read(1000), "for users only");
    EXPECT_EQ(right.prompts, 1);

    Credentials wrong{u"user", u"wrong"};
    ASSERT_EQ(client.SetCredentialsCallback(GiveCredentials, reinterpret_cast<DWORD_PTR>(&wrong)),
              kResultOk);
    EXPECT_EQ(Open("/private/secret.txt"), kHttpRefused);
    EXPECT_EQ(status, 401);
    EXPECT_EQ(wrong.prompts, static_cast<int>(kHttpMaxCredentialPrompts));
}

TEST_P(RealServersTest, FollowsTheServersRedirect) {
    ASSERT_EQ(Open("/redirect"), kResultOk);
    WCHAR url[kHttpUrlCapacity];
    ASSERT_EQ(client.GetFinalUrl(url, kHttpUrlCapacity), kResultOk);
    EXPECT_EQ(A(url), nginx.url("/target"));
    EXPECT_EQ(Read(1000), "redirected here");
}

TEST_P(RealServersTest, DownloadsAndResumesThroughTinyproxy) {
    if (!TinyproxyServer::available()) GTEST_SKIP() << "tinyproxy is not installed";
    TinyproxyServer proxy;
    ASSERT_TRUE(proxy.start()) << proxy.error();
    ASSERT_EQ(client.SetProxy(TEXT("127.0.0.1"), static_cast<WORD>(proxy.port())), kResultOk);

    ASSERT_EQ(Open("/dir/file.bin"), kResultOk);
    EXPECT_TRUE(Read(kFileSize + 1) == file) << "the download through the proxy differs";
    WCHAR url[kHttpUrlCapacity];
    ASSERT_EQ(client.GetFinalUrl(url, kHttpUrlCapacity), kResultOk);
    EXPECT_EQ(A(url), nginx.url("/dir/file.bin"));
    ASSERT_EQ(client.Close(), kResultOk);

    DownloadInTwoParts();
    EXPECT_NE(nginx.accessLog().find("\"GET /dir/file.bin HTTP/1.0\" 206"), std::string::npos)
        << nginx.accessLog();
}

TEST_P(RealServersTest, RedirectsChangeSchemeAndCredentialsStayWithTheirServer) {
    // A plain server that asks for credentials, then sends the client on to nginx (https in
    // the secure runs), and nginx sending it back to the plain server.
    qb::test::ScriptedServer plain;
    ASSERT_TRUE(plain.start());
    const std::string plainUrl = "http://127.0.0.1:" + std::to_string(plain.port());
    plain.addReply(qb::test::Reply().send(
        "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"r\"\r\n\r\n"));
    plain.addReply(qb::test::Reply().send(
        "HTTP/1.0 302 Found\r\nLocation: " + nginx.url("/authorization") + "\r\n\r\n"));
    Credentials given{u"user", u"secret"};
    ASSERT_EQ(client.SetCredentialsCallback(GiveCredentials, reinterpret_cast<DWORD_PTR>(&given)),
              kResultOk);
    const std::u16string url = U(plainUrl + "/start");
    ASSERT_EQ(client.Open(url.c_str(), &status, &headers), kResultOk);
    EXPECT_EQ(given.prompts, 1);
    // Another port, and in the secure runs another scheme: the credentials stayed behind.
    EXPECT_EQ(Read(1000), "[]");

    plain.addReply(qb::test::okReply("back"));
    ASSERT_EQ(Open("/back?port=" + std::to_string(plain.port())), kResultOk);
    EXPECT_EQ(Read(1000), "back");
    ASSERT_TRUE(plain.waitForRequests(3));
    EXPECT_EQ(plain.request(2).rfind("GET /plain-target HTTP/1.0\r\n", 0), 0u) << plain.request(2);
}

TEST_P(RealServersTest, AProxyThatRefusesOrClosesIsAConnectionFailure) {
    if (!GetParam().tls) GTEST_SKIP() << "only https goes through a tunnel";
    if (!TinyproxyServer::available()) GTEST_SKIP() << "tinyproxy is not installed";
    // tinyproxy opens tunnels to the ports its ConnectPort lines name only.
    TinyproxyServer proxy(qb::test::TinyproxyOptions{{"ConnectPort 1"}});
    ASSERT_TRUE(proxy.start()) << proxy.error();
    ASSERT_EQ(client.SetProxy(TEXT("127.0.0.1"), static_cast<WORD>(proxy.port())), kResultOk);
    EXPECT_EQ(Open("/dir/file.bin"), kHttpTunnelRefused);
    EXPECT_FALSE(client.IsOpen());

    qb::test::ScriptedServer closing;
    closing.addReply(qb::test::Reply().close());
    ASSERT_TRUE(closing.start());
    ASSERT_EQ(client.SetProxy(TEXT("127.0.0.1"), static_cast<WORD>(closing.port())), kResultOk);
    EXPECT_EQ(Open("/dir/file.bin"), kResultFail);
    ASSERT_TRUE(closing.waitForRequests(1));
    const std::string authority = nginx.url("").substr(8); // after "https://"
    EXPECT_EQ(closing.request(0),
              "CONNECT " + authority + " HTTP/1.0\r\nHost: " + authority + "\r\n\r\n");
}

INSTANTIATE_TEST_SUITE_P(Listeners, RealServersTest,
                         ::testing::Values(Listener{"Plain", false, true},
                                           Listener{"Tls", true, true},
                                           Listener{"TlsIpv6Only", true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace httpclient_test
