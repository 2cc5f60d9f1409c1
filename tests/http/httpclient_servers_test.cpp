// The client against real servers on 127.0.0.1: nginx serving files with byte ranges, Basic
// authentication and a redirect, and tinyproxy as a proxy in front of it.
#include <string>

#include <gtest/gtest.h>

#include "tests/http/httpclient_test.h"
#include "tests/support/nginx_server.h"
#include "tests/support/tinyproxy_server.h"

namespace httpclient_test {
namespace {

using qb::test::NginxServer;
using qb::test::TinyproxyServer;

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

int GiveCredentials(LPCWSTR, LPWSTR userId, LPWSTR password, DWORD_PTR data) {
    Credentials* given = reinterpret_cast<Credentials*>(data);
    ++given->prompts;
    std::u16string user = given->userId, pass = given->password;
    for (size_t i = 0; i <= user.size(); ++i) userId[i] = user.c_str()[i];
    for (size_t i = 0; i <= pass.size(); ++i) password[i] = pass.c_str()[i];
    return 1;
}

class RealServersTest : public ::testing::Test {
protected:
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
    NginxServer nginx;
    HttpClient client;
    PropertyList headers{nullptr};
    WORD status = 0;
};

TEST_F(RealServersTest, ResumesAFileFromTheMiddleWithExactBytes) {
    DownloadInTwoParts();
    EXPECT_NE(nginx.accessLog().find("\"GET /dir/file.bin HTTP/1.0\" 206"), std::string::npos)
        << nginx.accessLog();
    WCHAR name[kHttpFileNameCapacity];
    EXPECT_EQ(client.GetFileName(name, kHttpFileNameCapacity), kResultOk);
    EXPECT_EQ(A(name), "file.bin");
}

TEST_F(RealServersTest, RefusesMissingFilesAndRangesPastTheEnd) {
    EXPECT_EQ(Open("/missing"), kHttpRefused);
    EXPECT_EQ(status, 404);
    ASSERT_EQ(Open("/dir/file.bin"), kResultOk);
    const int64_t end = static_cast<int64_t>(kFileSize);
    EXPECT_EQ(client.Seek(&end, nullptr, kSeekBegin), kHttpRefused);
    EXPECT_FALSE(client.IsOpen());
}

TEST_F(RealServersTest, AnswersBasicAuthenticationThroughTheCallback) {
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

TEST_F(RealServersTest, FollowsTheServersRedirect) {
    ASSERT_EQ(Open("/redirect"), kResultOk);
    WCHAR url[kHttpUrlCapacity];
    ASSERT_EQ(client.GetFinalUrl(url, kHttpUrlCapacity), kResultOk);
    EXPECT_EQ(A(url), nginx.url("/target"));
    EXPECT_EQ(Read(1000), "redirected here");
}

TEST_F(RealServersTest, DownloadsAndResumesThroughTinyproxy) {
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

} // namespace
} // namespace httpclient_test
