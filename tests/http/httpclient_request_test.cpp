// The exact bytes the client sends, directly and through a proxy, and the URLs it refuses
// before anything reaches the network.
#include <chrono>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/http/httpclient_test.h"

namespace httpclient_test {
namespace {

using qb::test::okReply;
using qb::test::Reply;

TEST_F(HttpClientTest, SendsTheRequestLinesInOrderWithTheReferer) {
    server.addReply(okReply("data"));
    headers.SetWide(TEXT("Referer"), U(Url("/dir/")).c_str());
    ASSERT_EQ(Open(Url("/dir/file.zip")), kResultOk);
    ASSERT_TRUE(server.waitForRequests(1));
    const std::string expected =
        ExpectedRequest("/dir/file.zip", Host(), 0, "Referer: " + Url("/dir/") + "\r\n");
    EXPECT_EQ(server.request(0), expected);
    EXPECT_EQ(A(client.LastRequest()), expected);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(FinalUrl(), Url("/dir/file.zip"));
    EXPECT_EQ(FileName(), "file.zip");
}

TEST_F(HttpClientTest, SendsTheRequestWithoutARefererAndTheQueryInTheTarget) {
    server.addReply(okReply("data"));
    ASSERT_EQ(Open(Url("/dir/file.zip?x=1&y=/2")), kResultOk);
    ASSERT_TRUE(server.waitForRequests(1));
    EXPECT_EQ(server.request(0), ExpectedRequest("/dir/file.zip?x=1&y=/2", Host(), 0));
    EXPECT_EQ(FileName(), "file.zip");
}

TEST_F(HttpClientTest, AnAuthorityWithoutAPathAsksForTheRoot) {
    server.addReply(okReply("root"));
    ASSERT_EQ(Open(Url("")), kResultOk);
    ASSERT_TRUE(server.waitForRequests(1));
    EXPECT_EQ(server.request(0), ExpectedRequest("/", Host(), 0));
    EXPECT_EQ(FinalUrl(), Url("/"));
    int result = 0;
    EXPECT_EQ(FileName(&result), "");
    EXPECT_EQ(result, kResultOk);
}

// The user information becomes the Authorization line (someone:pw), never part of the
// connection's name or the Host line.
TEST_F(HttpClientTest, KeepsTheUserInformationOutOfTheConnectionAndTheHostLine) {
    server.addReply(okReply("x"));
    const std::string host = "localhost:" + std::to_string(server.port());
    ASSERT_EQ(Open("http://someone:pw@" + host + "/f"), kResultOk);
    ASSERT_TRUE(server.waitForRequests(1));
    EXPECT_EQ(server.request(0),
              ExpectedRequest("/f", host, 0, "Authorization: Basic c29tZW9uZTpwdw==\r\n"));
}

TEST_F(HttpClientTest, WithoutAHeaderStoreTheHeadersOfThePreviousOpenAreSentAgain) {
    server.addReply(okReply("1"));
    server.addReply(okReply("2"));
    ASSERT_EQ(Open(Url("/one")), kResultOk);
    const std::u16string url = U(Url("/two"));
    ASSERT_EQ(client.Open(url.c_str(), &status, nullptr), kResultOk);
    ASSERT_TRUE(server.waitForRequests(2));
    EXPECT_EQ(server.request(1), ExpectedRequest("/two", Host(), 0));
}

TEST_F(HttpClientTest, SendsTheWholeUrlToTheProxyWhichResolvesTheServer) {
    server.addReply(okReply("via proxy"));
    ASSERT_EQ(client.SetProxy(TEXT("localhost"), static_cast<WORD>(server.port())), kResultOk);
    const std::string url = "http://localhost:1/dir/a?b=1";
    ASSERT_EQ(Open(url), kResultOk);
    ASSERT_TRUE(server.waitForRequests(1));
    EXPECT_EQ(server.request(0), ExpectedRequest(url, "localhost:1", 0));
    EXPECT_EQ(FinalUrl(), url);
    EXPECT_EQ(FileName(), "a");
    EXPECT_EQ(ReadBody(), "via proxy");

    // The server's name is the proxy's to resolve: one unknown here still goes to the proxy.
    server.addReply(okReply("resolved there"));
    EXPECT_EQ(Open("http://no-such-host.invalid/f"), kResultOk);
    ASSERT_TRUE(server.waitForRequests(2));
    EXPECT_EQ(server.request(1),
              ExpectedRequest("http://no-such-host.invalid/f", "no-such-host.invalid", 0));

    // Clearing the proxy of an open client turns the target back into the path.
    server.addReply(okReply("again"));
    ASSERT_EQ(Open(url), kResultOk);
    EXPECT_EQ(client.ClearProxy(), kResultOk);
    EXPECT_EQ(client.ClearProxy(), kResultNo);
    EXPECT_EQ(FinalUrl(), "http://localhost:1/dir/a?b=1");
    EXPECT_EQ(FileName(), "a");
}

// A name beyond ASCII goes to the resolver, the Host line, the proxy's request line and
// CONNECT in its ASCII form; the final URL and the server's name are shown as written.
TEST_F(HttpClientTest, SendsAnInternationalNameInItsAsciiForm) {
    const std::string port = std::to_string(server.port());
    const std::u16string name = u"\u4f8b\u3048.localhost";
    const std::string ascii = "xn--r8jz45g.localhost";
    const std::u16string direct = u"http://" + name + U(":" + port + "/f");
    server.addReply(okReply("direct"));
    ASSERT_EQ(client.Open(direct.c_str(), &status, &headers), kResultOk);
    ASSERT_TRUE(server.waitForRequests(1));
    EXPECT_EQ(server.request(0), ExpectedRequest("/f", ascii + ":" + port, 0));
    WCHAR shown[kHttpUrlCapacity];
    ASSERT_EQ(client.GetFinalUrl(shown, kHttpUrlCapacity), kResultOk);
    EXPECT_EQ(std::u16string(shown), direct);
    EXPECT_EQ(std::u16string(client.ServerHostName()), name);

    ASSERT_EQ(client.SetProxy(TEXT("127.0.0.1"), static_cast<WORD>(server.port())), kResultOk);
    server.addReply(okReply("via proxy"));
    const std::u16string proxied = u"http://" + name + u":1/a";
    ASSERT_EQ(client.Open(proxied.c_str(), &status, &headers), kResultOk);
    ASSERT_TRUE(server.waitForRequests(2));
    EXPECT_EQ(server.request(1), ExpectedRequest("http://" + ascii + ":1/a", ascii + ":1", 0));

    server.addReply(Reply().send(Response("HTTP/1.0 403 Forbidden", "", "")));
    const std::u16string tunnelled = u"https://" + name + u"/s";
    EXPECT_EQ(client.Open(tunnelled.c_str(), &status, &headers), kHttpTunnelRefused);
    ASSERT_TRUE(server.waitForRequests(3));
    EXPECT_EQ(server.request(2).rfind("CONNECT " + ascii + ":443 HTTP/1.0\r\n", 0), 0u);

    // A name IDNA refuses is no host at all: nothing is connected.
    const std::u16string refused = u"http://\u2603.localhost:" + U(port) + u"/f";
    EXPECT_EQ(client.Open(refused.c_str(), &status, &headers), kHttpInvalidHostName);
    EXPECT_EQ(server.connectionCount(), 3u);
}

TEST_F(HttpClientTest, SetProxyTakesAnAddressOrAResolvableName) {
    EXPECT_EQ(client.SetProxy(nullptr, 8080), kResultNullArgument);
    EXPECT_EQ(client.SetProxy(TEXT("no-such-proxy.invalid"), 8080), kSocketNameNotFound);
    EXPECT_EQ(client.ClearProxy(), kResultNo); // a failed set leaves the proxy cleared
    EXPECT_EQ(client.SetProxy(TEXT("127.0.0.1"), static_cast<WORD>(server.port())), kResultOk);
    server.addReply(okReply("p"));
    ASSERT_EQ(Open("http://127.0.0.1:9/x"), kResultOk);
    ASSERT_TRUE(server.waitForRequests(1));
    EXPECT_EQ(server.request(0).rfind("GET http://127.0.0.1:9/x HTTP/1.0\r\n", 0), 0u);
}

// A proxy that answers CONNECT with anything but 2xx refuses the tunnel: Open fails with
// the proxy's status in LastStatus, and not one byte of a handshake (a TLS record begins
// with 0x16) follows the CONNECT head on that connection.
TEST_F(HttpClientTest, ARefusedTunnelSendsNothingAfterTheConnectHead) {
    struct Case {
        const char* answer;
        DWORD status;
    };
    const Case cases[] = {
        {"HTTP/1.0 407 Proxy Authentication Required\r\n"
         "Proxy-Authenticate: Basic realm=\"proxy\"\r\n\r\n",
         407},
        {"HTTP/1.1 302 Found\r\nLocation: https://127.0.0.1:9/elsewhere\r\n\r\n", 302},
        {"HTTP/1.0 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n", 502},
    };
    ASSERT_EQ(client.SetProxy(TEXT("127.0.0.1"), static_cast<WORD>(server.port())), kResultOk);
    const std::string head = "CONNECT 127.0.0.1:9 HTTP/1.0\r\nHost: 127.0.0.1:9\r\n\r\n";
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.status);
        // The proxy keeps the connection open after its answer: a handshake would arrive.
        server.addReply(Reply().send(c.answer).stall(std::chrono::seconds(3)));
        const int result = Open("https://127.0.0.1:9/f.bin");
        // A 407 is told apart: the proxy wants credentials.
        EXPECT_EQ(result, c.status == 407 ? kHttpProxyAuthRequired : kHttpTunnelRefused);
        EXPECT_EQ(client.LastStatus(), c.status);
        EXPECT_FALSE(client.IsOpen());
        client.Abort(); // the connection is left to the next Open: this ends the stall now
        ASSERT_TRUE(server.waitForFinished(i + 1));
        const std::string received = server.connection(i)->received;
        EXPECT_EQ(received, head);
        EXPECT_EQ(received.find('\x16'), std::string::npos) << "a handshake reached the proxy";
    }
}

TEST_F(HttpClientTest, SendsANonAsciiUrlWholeInTheAnsiCodePage) {
    server.addReply(okReply("x"));
    const std::u16string path = u"/\u00e9t\u00e9/\u65e5\u672c.txt";
    const std::u16string url = U(Url("")) + path;
    ASSERT_EQ(client.Open(url.c_str(), &status, &headers), kResultOk);
    ASSERT_TRUE(server.waitForRequests(1));
    WString converted;
    converted.AssignWide(client.LastRequest());
    const std::string expected = converted.GetNarrow();
    EXPECT_EQ(server.request(0), expected);
    EXPECT_GT(expected.size(), ExpectedRequest("/", Host(), 0).size());
}

TEST_F(HttpClientTest, RefusesUrlsBeforeConnecting) {
    const std::string port = std::to_string(server.port());
    const std::vector<std::u16string> refused = {
        U("ftp://127.0.0.1:" + port + "/f"),
        U(" http://127.0.0.1:" + port + "/f"),
        U("/relative/path"),
        U("http://127.0.0.1:" + port + "/f\r\nX-Injected: 1"),
        U("http://127.0.0.1:" + port + "/f\nGET /other HTTP/1.0"),
        U("http://127.0.0.1:" + port + "/" + std::string(kHttpUrlCapacity, 'a')),
        U("http://127.0.0.1:70000/f"),
        U("http://127.0.0.1:" + port + "x/f"),
    };
    for (const std::u16string& url : refused) {
        SCOPED_TRACE(A(url.c_str()));
        EXPECT_EQ(client.Open(url.c_str(), &status, &headers), kResultFail);
        EXPECT_FALSE(client.IsOpen());
    }
    EXPECT_EQ(server.connectionCount(), 0u);
    EXPECT_EQ(client.Open(nullptr, &status, &headers), kResultNullArgument);
    const std::u16string url = U(Url("/f"));
    EXPECT_EQ(client.Open(url.c_str(), nullptr, &headers), kResultNullArgument);
}

TEST_F(HttpClientTest, RefusesAHeaderThatWouldBreakTheRequestApart) {
    headers.SetWide(TEXT("Referer"), TEXT("http://h/\r\nX-Injected: 1"));
    EXPECT_EQ(Open(Url("/f")), kResultFail);
    EXPECT_EQ(server.connectionCount(), 0u);
}

TEST_F(HttpClientTest, ReportsAConnectionThatIsRefused) {
    qb::test::ScriptedServer gone;
    ASSERT_TRUE(gone.start());
    const std::string url = "http://127.0.0.1:" + std::to_string(gone.port()) + "/f";
    gone.stop();
    EXPECT_LT(Open(url), 0);
    EXPECT_FALSE(client.IsOpen());
    // The client is usable again afterwards.
    server.addReply(okReply("ok"));
    EXPECT_EQ(Open(Url("/f")), kResultOk);
    EXPECT_EQ(ReadBody(), "ok");
}

} // namespace
} // namespace httpclient_test
