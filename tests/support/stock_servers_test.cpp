// Debian's apache2 and squid as the helpers start them, asked by curl (a client that speaks
// HTTP as they expect): files, ranges, Basic authentication, the redirect and https from
// Apache; forwarding, CONNECT, names from squid's own hosts file and proxy credentials from
// squid. Apache's stock parsing is checked too: a request in bare line feeds gets 400.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <unistd.h>

#include "tests/support/apache_server.h"
#include "tests/support/loopback.h"
#include "tests/support/process.h"
#include "tests/support/squid_server.h"
#include "tests/support/test_certificates.h"

namespace qb::test {
namespace {

using namespace std::chrono_literals;

constexpr char kCurl[] = "/usr/bin/curl";
constexpr char kBody[] = "0123456789abcdefghij";
// A file name with a space and non-ASCII letters, as it lies in the document root and as a
// request target names it.
constexpr char kSpacedName[] = "日本 語.bin";
constexpr char kSpacedTarget[] = "/%E6%97%A5%E6%9C%AC%20%E8%AA%9E.bin";

struct Fetched {
    std::string codes; // "CONNECT-status/status": "000/200", "200/200", "407/000"
    std::string body;
    std::string errors;
};

// curl with args, no proxy but the one args name, trusting the test authority alone.
Fetched curl(std::vector<std::string> args) {
    std::vector<std::string> all = {"-sS",
                                    "--max-time",
                                    "20",
                                    "-w",
                                    "\n%{http_connect}/%{http_code}",
                                    "--cacert",
                                    TestCertificates::shared().caFile()};
    all.insert(all.end(), args.begin(), args.end());
    ProcessOptions options;
    options.unsetEnv = {"http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy",
                        "ALL_PROXY",  "no_proxy",    "NO_PROXY"};
    const ProcessResult result = runProcess(kCurl, all, options);
    const size_t last = result.out.rfind('\n');
    if (!result.started || last == std::string::npos) return {"", "", result.error + result.err};
    return {result.out.substr(last + 1), result.out.substr(0, last), result.err};
}

bool curlAvailable() {
    return ::access(kCurl, X_OK) == 0;
}

void fillDocRoot(const ApacheServer& server) {
    ASSERT_TRUE(server.writeFile("file.bin", kBody));
    ASSERT_TRUE(server.writeFile("target", "redirected here"));
    ASSERT_TRUE(server.writeFile("private/secret.txt", "for users only"));
    ASSERT_TRUE(server.writeFile(kSpacedName, "spaced"));
}

// One request and what must come back.
struct Row {
    std::vector<std::string> args;
    std::string codes;
    std::string body; // "" when the body does not matter
};

void expectRows(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        std::string shown;
        for (const auto& arg : row.args) shown += arg + " ";
        const Fetched fetched = curl(row.args);
        EXPECT_EQ(fetched.codes, row.codes) << shown << "\n" << fetched.errors;
        if (!row.body.empty()) {
            EXPECT_EQ(fetched.body, row.body) << shown;
        }
    }
}

class StockServers : public ::testing::Test {
protected:
    void SetUp() override {
        if (!ApacheServer::available() || !curlAvailable()) {
            GTEST_SKIP() << "apache2 or curl is not installed";
        }
        ASSERT_TRUE(TestCertificates::shared().made()) << TestCertificates::shared().error();
    }
};

TEST_F(StockServers, ApacheServesFilesRangesCredentialsAndRedirects) {
    ApacheServer server;
    fillDocRoot(server);
    ASSERT_TRUE(server.start()) << server.error();
    expectRows({
        {{server.url("/file.bin")}, "000/200", kBody},
        {{"-r", "15-", server.url("/file.bin")}, "000/206", "fghij"},
        {{"-r", "20-", server.url("/file.bin")}, "000/416", ""},
        {{server.url("/missing")}, "000/404", ""},
        {{server.url(kSpacedTarget)}, "000/200", "spaced"},
        {{server.url("/private/secret.txt")}, "000/401", ""},
        {{"-u", "user:secret", server.url("/private/secret.txt")}, "000/200", "for users only"},
        {{"-u", "user:wrong", server.url("/private/secret.txt")}, "000/401", ""},
        {{server.url("/redirect")}, "000/302", ""},
        {{"-L", server.url("/redirect")}, "000/200", "redirected here"},
    });
    EXPECT_TRUE(server.waitForAccessLog("\"GET /redirect HTTP/1.1\" 302")) << server.accessLog();
}

TEST_F(StockServers, ApacheRefusesBareLineFeedsAsShipped) {
    ApacheServer server;
    fillDocRoot(server);
    ASSERT_TRUE(server.start()) << server.error();
    const std::string host = "Host: 127.0.0.1:" + std::to_string(server.port());
    const std::string bare = roundTrip(server.port(), "GET /file.bin HTTP/1.0\n" + host + "\n\n");
    EXPECT_EQ(bare.rfind("HTTP/1.1 400 Bad Request\r\n", 0), 0u) << bare;
    const std::string proper =
        roundTrip(server.port(), "GET /file.bin HTTP/1.0\r\n" + host + "\r\n\r\n");
    EXPECT_EQ(proper.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << proper;
}

TEST_F(StockServers, ApacheServesHttpsWithTheTestCertificate) {
    ApacheOptions options;
    options.tls = TestCertificates::shared().loopback();
    ApacheServer server(options);
    fillDocRoot(server);
    ASSERT_TRUE(server.start()) << server.error();
    ASSERT_EQ(server.url("/").rfind("https://", 0), 0u);
    expectRows({
        {{server.url("/file.bin")}, "000/200", kBody},
        {{"-r", "10-", "-u", "user:secret", server.url("/private/secret.txt")}, "000/206", "only"},
    });
    // Plain http on the TLS port is refused.
    EXPECT_EQ(curl({"http://127.0.0.1:" + std::to_string(server.port()) + "/file.bin"}).codes,
              "000/400");
}

class ThroughSquid : public StockServers {
protected:
    static ApacheOptions secureOptions() {
        ApacheOptions options;
        options.tls = TestCertificates::shared().loopback();
        return options;
    }

    void SetUp() override {
        StockServers::SetUp();
        if (IsSkipped()) return;
        if (!SquidServer::available()) GTEST_SKIP() << "squid is not installed";
        fillDocRoot(origin);
        ASSERT_TRUE(origin.start()) << origin.error();
        fillDocRoot(secure);
        ASSERT_TRUE(secure.start()) << secure.error();
    }

    // The origins by a name: "http://NAME:PORT" + path.
    std::string plainAt(const std::string& name, const std::string& path) const {
        return "http://" + name + ":" + std::to_string(origin.port()) + path;
    }
    std::string secureAt(const std::string& name, const std::string& path) const {
        return "https://" + name + ":" + std::to_string(secure.port()) + path;
    }

    ApacheServer origin;
    ApacheServer secure{secureOptions()};
};

TEST_F(ThroughSquid, ForwardsByNamesOfItsOwnHostsFile) {
    SquidOptions options;
    options.hostNames = {TestCertificates::kProxyOnlyName, TestCertificates::kProxyOnlyIdnName};
    SquidServer proxy(options);
    ASSERT_TRUE(proxy.start()) << proxy.error();
    const std::string via = "http://127.0.0.1:" + std::to_string(proxy.port());
    const std::string only = TestCertificates::kProxyOnlyName;
    expectRows({
        {{"-x", via, plainAt("127.0.0.1", "/file.bin")}, "000/200", kBody},
        {{"-x", via, "-r", "15-", plainAt(only, "/file.bin")}, "000/206", "fghij"},
        {{"-x", via, plainAt(TestCertificates::kProxyOnlyIdnName, "/file.bin")}, "000/200", kBody},
        {{"-x", via, plainAt(only, kSpacedTarget)}, "000/200", "spaced"},
        {{"-x", via, plainAt(only, "/missing")}, "000/404", ""},
        // A name squid cannot resolve: its own refusal.
        {{"-x", via, plainAt("nowhere.invalid", "/file.bin")}, "000/502", ""},
        // CONNECT to a name only squid knows, the certificate checked for that name.
        {{"-x", via, secureAt(only, "/file.bin")}, "200/200", kBody},
    });
    EXPECT_TRUE(
        proxy.waitForAccessLog("GET " + plainAt(only, "/file.bin") + " - HIER_DIRECT/127.0.0.1"))
        << proxy.accessLog();
    EXPECT_TRUE(proxy.waitForAccessLog("CONNECT " + only + ":" + std::to_string(secure.port())))
        << proxy.accessLog();
    // The origin is asked in CR LF lines by squid, over HTTP/1.1.
    EXPECT_TRUE(origin.waitForAccessLog("\"GET /file.bin HTTP/1.1\" 206")) << origin.accessLog();
}

TEST_F(ThroughSquid, AsksForCredentialsAndStopsByItsProcessId) {
    SquidOptions options;
    options.users = {{"user", "secret"}, {"ann", "p@ss: word"}};
    options.hostNames = {TestCertificates::kProxyOnlyName};
    SquidServer proxy(options);
    ASSERT_TRUE(proxy.start()) << proxy.error();
    const std::string at = "127.0.0.1:" + std::to_string(proxy.port());
    const std::string file = plainAt(TestCertificates::kProxyOnlyName, "/file.bin");
    expectRows({
        {{"-x", "http://" + at, file}, "000/407", ""},
        {{"-x", "http://user:wrong@" + at, file}, "000/407", ""},
        {{"-x", "http://user:secret@" + at, file}, "000/200", kBody},
        {{"-x", "http://" + at, "--proxy-user", "ann:p@ss: word", file}, "000/200", kBody},
        {{"-x", "http://" + at, secureAt("127.0.0.1", "/file.bin")}, "407/000", ""},
        {{"-x", "http://user:secret@" + at, secureAt("127.0.0.1", "/file.bin")}, "200/200", kBody},
    });
    EXPECT_TRUE(proxy.waitForAccessLog("TCP_DENIED/407")) << proxy.accessLog();
    EXPECT_TRUE(proxy.waitForAccessLog("GET " + file + " user HIER_DIRECT")) << proxy.accessLog();

    const int port = proxy.port();
    proxy.stop();
    EXPECT_FALSE(proxy.running());
    LoopbackClient client;
    EXPECT_FALSE(client.connect(port, 500ms));
}

} // namespace
} // namespace qb::test
