// Seek: asking the server again from a position (resuming), the 64-bit range line, which
// answers continue there, and what the client is left with when they don't.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/http/httpclient_test.h"

namespace httpclient_test {
namespace {

using qb::test::okReply;
using qb::test::Reply;

std::string Partial(uint64_t first, uint64_t last, uint64_t total, const std::string& body,
                    bool withRange = true, bool withLength = true) {
    std::string headerLines;
    if (withRange) {
        headerLines += "Content-Range: bytes " + std::to_string(first) + "-" +
                       std::to_string(last) + "/" + std::to_string(total) + "\r\n";
    }
    if (withLength) headerLines += "Content-Length: " + std::to_string(last - first + 1) + "\r\n";
    return Response("HTTP/1.1 206 Partial Content", headerLines, body);
}

std::string Whole(uint64_t length, const std::string& body) {
    return Response("HTTP/1.0 200 OK", "Content-Length: " + std::to_string(length) + "\r\n", body);
}

class SeekTest : public HttpClientTest {
protected:
    // Opens /f answered by a 200 of length bytes (the body itself is not sent).
    void OpenWhole(uint64_t length) {
        server.addReply(Reply().send(Whole(length, "")));
        ASSERT_EQ(Open(Url("/f")), kResultOk);
        ASSERT_EQ(Size(), length);
    }
};

TEST_F(SeekTest, ContinuesWithA206AndAddsItsLengthToThePosition) {
    OpenWhole(1500);
    server.addReply(Reply().send(Partial(500, 1499, 1500, std::string(1000, 'z'))));
    EXPECT_EQ(SeekTo(500), kResultOk);
    EXPECT_TRUE(client.IsOpen());
    EXPECT_EQ(client.Position(), 500u);
    EXPECT_EQ(Size(), 1500u);
    EXPECT_EQ(ReadBody(), std::string(1000, 'z'));
    EXPECT_EQ(client.Position(), 1500u);
    ASSERT_TRUE(server.waitForRequests(2));
    EXPECT_EQ(server.request(1), ExpectedRequest("/f", Host(), 500));
    EXPECT_EQ(A(client.LastRequest()), ExpectedRequest("/f", Host(), 500));
}

TEST_F(SeekTest, A206WithoutContentRangeContinuesToo) {
    OpenWhole(1500);
    server.addReply(Reply().send(Partial(500, 1499, 1500, "", false)));
    EXPECT_EQ(SeekTo(500), kResultOk);
    EXPECT_EQ(Size(), 1500u);
}

TEST_F(SeekTest, TheRangeLineCarriesTheWholePositionBeyondFourGibibytes) {
    const uint64_t total = 6000000000ull;
    OpenWhole(total);
    const uint64_t position = 5000000000ull;
    server.addReply(Reply().send(Partial(position, total - 1, total, "")));
    EXPECT_EQ(SeekTo(static_cast<int64_t>(position)), kResultOk);
    EXPECT_EQ(Size(), total);
    EXPECT_EQ(client.Position(), position);
    ASSERT_TRUE(server.waitForRequests(2));
    EXPECT_EQ(server.request(1), ExpectedRequest("/f", Host(), position));

    server.addReply(Reply().send(Partial(1234567, total - 1, total, "")));
    EXPECT_EQ(SeekTo(1234567), kResultOk);
    ASSERT_TRUE(server.waitForRequests(3));
    EXPECT_EQ(server.request(2), ExpectedRequest("/f", Host(), 1234567));
}

TEST_F(SeekTest, A200AtAPositionStaysOpenOnTheWholeBodyAndReportsNoResume) {
    server.addReply(Reply().send(Whole(10, "0123456789")));
    ASSERT_EQ(Open(Url("/f")), kResultOk);
    server.addReply(Reply().send(Whole(10, "0123456789")));
    EXPECT_EQ(SeekTo(4), kResultFail);
    EXPECT_TRUE(client.IsOpen());
    EXPECT_EQ(client.Position(), 0u);
    EXPECT_EQ(Size(), 10u);
    // The whole body, from its first byte, without another request.
    EXPECT_EQ(ReadBody(3), "0123456789");
    EXPECT_EQ(server.connectionCount(), 2u);
}

struct RefusedCase {
    std::string name;
    std::string response;
    int result;
};

TEST_F(SeekTest, AnswersThatDoNotContinueAtThePositionCloseTheClient) {
    const std::vector<RefusedCase> cases = {
        {"206 of another range", Partial(0, 1499, 1500, ""), kHttpRefused},
        // One byte off either way: a resumed file would repeat or lose a byte.
        {"206 from one byte before", Partial(499, 1499, 1500, ""), kHttpRefused},
        {"206 from one byte after", Partial(501, 1499, 1500, ""), kHttpRefused},
        {"206 without a length", Partial(500, 1499, 1500, "", true, false), kResultFail},
        {"201 at a position", Response("HTTP/1.0 201 Created", "Content-Length: 1\r\n", "x"),
         kHttpRefused},
        {"416",
         Response("HTTP/1.1 416 Range Not Satisfiable", "Content-Range: bytes */1500\r\n", ""),
         kHttpRefused},
        {"404", Response("HTTP/1.0 404 Not Found", "", ""), kHttpRefused},
        // Header names have no case: a lower-case range of another start is still one.
        {"lower-case range",
         Response("HTTP/1.1 206 Partial",
                  "content-range: bytes 0-999/1500\r\ncontent-length: 1000\r\n", ""),
         kHttpRefused},
        {"unparsable", Response("HTTP/1.1 Partial", "", ""), kHttpBadStatusLine},
        {"empty status line", "\r\n\r\n", kResultFail},
    };
    for (const RefusedCase& c : cases) {
        SCOPED_TRACE(c.name);
        OpenWhole(1500);
        server.addReply(Reply().send(c.response));
        EXPECT_EQ(SeekTo(500), c.result);
        EXPECT_FALSE(client.IsOpen());
        char byte = 0;
        DWORD count = 1;
        EXPECT_EQ(client.Read(&byte, &count), kResultFail);
        EXPECT_EQ(SeekTo(0), kResultFail); // a closed client does not ask again
    }
    EXPECT_EQ(server.connectionCount(), 2 * cases.size());
}

TEST_F(SeekTest, AnUnknownSizeMakesEverySeekFail) {
    server.addReply(Reply().send(Response("HTTP/1.0 200 OK", "Content-Type: x/y\r\n", "")));
    ASSERT_EQ(Open(Url("/f")), kResultOk);
    EXPECT_EQ(SeekTo(0, kSeekEnd), kResultFail);
    EXPECT_EQ(server.connectionCount(), 1u);
    EXPECT_TRUE(client.IsOpen());
    // From the start the answer is the whole resource: readable, but the size stays unknown.
    server.addReply(Reply().send(Response("HTTP/1.0 200 OK", "Content-Type: x/y\r\n", "abc")));
    EXPECT_EQ(SeekTo(0), kResultFail);
    EXPECT_TRUE(client.IsOpen());
    EXPECT_EQ(ReadBody(), "abc");
}

TEST_F(SeekTest, OriginsCurrentAndEndAndTargetsBelowZero) {
    server.addReply(Reply().send(Whole(1000, std::string(100, 'a'))));
    ASSERT_EQ(Open(Url("/f")), kResultOk);
    char buffer[100];
    DWORD count = sizeof buffer;
    ASSERT_EQ(client.Read(buffer, &count), kResultOk);
    ASSERT_EQ(client.Position(), 100u);

    server.addReply(Reply().send(Partial(150, 999, 1000, "")));
    EXPECT_EQ(SeekTo(50, kSeekCurrent), kResultOk);
    EXPECT_EQ(client.Position(), 150u);
    // The end is the last byte: offset 0 asks for byte size - 1.
    server.addReply(Reply().send(Partial(999, 999, 1000, "")));
    EXPECT_EQ(SeekTo(0, kSeekEnd), kResultOk);
    EXPECT_EQ(client.Position(), 999u);
    ASSERT_TRUE(server.waitForRequests(3));
    EXPECT_EQ(server.request(1), ExpectedRequest("/f", Host(), 150));
    EXPECT_EQ(server.request(2), ExpectedRequest("/f", Host(), 999));

    // Targets below 0 are refused without a request and without closing.
    EXPECT_EQ(SeekTo(-1), kResultFail);
    EXPECT_EQ(SeekTo(-1000, kSeekCurrent), kResultFail);
    EXPECT_EQ(SeekTo(-1000, kSeekEnd), kResultFail);
    EXPECT_EQ(SeekTo(INT64_MAX, kSeekEnd), kResultFail);
    EXPECT_EQ(SeekTo(INT64_MIN, kSeekCurrent), kResultFail);
    EXPECT_TRUE(client.IsOpen());
    EXPECT_EQ(server.connectionCount(), 3u);
}

// Credentials given for the server go with the re-request (a resume behind authentication).
TEST_F(SeekTest, TheNewRequestKeepsTheProxyHeadersAndCredentials) {
    struct Answer {
        static int Give(LPCWSTR, LPCWSTR, BOOL, LPWSTR userId, LPWSTR password, DWORD_PTR) {
            userId[0] = u'u';
            userId[1] = 0;
            password[0] = u'p';
            password[1] = 0;
            return 1;
        }
    };
    ASSERT_EQ(client.SetCredentialsCallback(Answer::Give, 0), kResultOk);
    ASSERT_EQ(client.SetProxy(TEXT("127.0.0.1"), static_cast<WORD>(server.port())), kResultOk);
    headers.SetWide(TEXT("Referer"), TEXT("http://localhost:1/"));
    server.addReply(
        Reply().send(Response("HTTP/1.0 401 No", "WWW-Authenticate: Basic realm=\"r\"\r\n", "")));
    server.addReply(Reply().send(Whole(100, "")));
    ASSERT_EQ(Open("http://localhost:1/f"), kResultOk);
    server.addReply(Reply().send(Partial(40, 99, 100, "")));
    EXPECT_EQ(SeekTo(40), kResultOk);
    ASSERT_TRUE(server.waitForRequests(3));
    const std::string referer = "Referer: http://localhost:1/\r\n";
    EXPECT_EQ(server.request(1), ExpectedRequest("http://localhost:1/f", "localhost:1", 0,
                                                 referer + "Authorization: Basic dTpw\r\n"));
    EXPECT_EQ(server.request(2), ExpectedRequest("http://localhost:1/f", "localhost:1", 40,
                                                 referer + "Authorization: Basic dTpw\r\n"));
}

TEST_F(SeekTest, AFailedConnectionClosesTheClientAndOpenStartsAfresh) {
    qb::test::ScriptedServer other;
    other.addReply(Reply().send(Whole(100, "")));
    ASSERT_TRUE(other.start());
    const std::string url = "http://127.0.0.1:" + std::to_string(other.port()) + "/f";
    ASSERT_EQ(Open(url), kResultOk);
    ASSERT_TRUE(other.waitForFinished(1));
    other.stop();
    EXPECT_LT(SeekTo(10), 0);
    EXPECT_FALSE(client.IsOpen());

    // The next open asks from 0 again, not from where the failed seek left the position.
    server.addReply(okReply("fresh"));
    ASSERT_EQ(Open(Url("/g")), kResultOk);
    EXPECT_EQ(client.Position(), 0u);
    ASSERT_TRUE(server.waitForRequests(1));
    EXPECT_EQ(server.request(0), ExpectedRequest("/g", Host(), 0));
    EXPECT_EQ(ReadBody(), "fresh");
}

// A retry: Reopen asks again from a position after the connection failed (also after a
// failed re-request), the status of each answer is kept, and after Abort or Close nothing
// more is asked.
TEST_F(SeekTest, ReopenAsksAgainAfterFailuresButNotAfterAbortOrClose) {
    EXPECT_EQ(client.Reopen(0), kResultFail); // nothing opened yet
    OpenWhole(100);
    server.addReply(Reply().send(Response("HTTP/1.0 503 Busy", "", "")));
    EXPECT_EQ(client.Reopen(30), kHttpRefused);
    EXPECT_EQ(client.LastStatus(), 503u);
    EXPECT_FALSE(client.IsOpen());
    server.addReply(Reply().send(Partial(30, 99, 100, std::string(70, 'r'))));
    EXPECT_EQ(client.Reopen(30), kResultOk);
    EXPECT_EQ(client.LastStatus(), 206u);
    EXPECT_EQ(ReadBody(), std::string(70, 'r'));
    ASSERT_TRUE(server.waitForRequests(3));
    EXPECT_EQ(server.request(2), ExpectedRequest("/f", Host(), 30));

    client.Abort();
    EXPECT_EQ(client.Reopen(30), kResultFail);
    EXPECT_EQ(client.Close(), kResultOk);
    EXPECT_EQ(client.Reopen(30), kResultFail);
    EXPECT_EQ(server.connectionCount(), 3u);
}

// A retry after a reset that meets a status line which does not parse is no answer, however
// much of the line matched (one number is not "accepted"): the client stays closed and the
// next retry continues.
TEST_F(SeekTest, AGarbledStatusLineToARetryIsNoAnswer) {
    const std::string range = "Content-Range: bytes 30-99/100\r\nContent-Length: 70\r\n";
    const std::vector<std::string> statusLines = {"HTTP/1 206 Partial Content",
                                                  "HTTP/1.1 Partial Content", "ICY 206 Partial"};
    server.addReply(
        Reply().send(Whole(100, std::string(30, 'w'))).pause(qb::test::Millis{50}).reset());
    ASSERT_EQ(Open(Url("/f")), kHttpAccepted);
    ReadBody(); // until the reset
    for (const std::string& statusLine : statusLines) {
        SCOPED_TRACE(statusLine);
        server.addReply(Reply().send(Response(statusLine, range, std::string(70, 'g'))));
        EXPECT_EQ(client.Reopen(30), kHttpBadStatusLine);
        EXPECT_FALSE(client.IsOpen());
        char byte = 0;
        DWORD count = 1;
        EXPECT_EQ(client.Read(&byte, &count), kResultFail);
    }
    server.addReply(Reply().send(Partial(30, 99, 100, std::string(70, 'r'))));
    EXPECT_EQ(client.Reopen(30), kHttpAccepted);
    EXPECT_EQ(ReadBody(), std::string(70, 'r'));
    EXPECT_EQ(server.connectionCount(), 2 + statusLines.size());
}

} // namespace
} // namespace httpclient_test
