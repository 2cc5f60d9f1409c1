// How the client takes a response: the results of open for every kind of status line, the
// header block (long lines, a line without a colon), the size, and the body reads.
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "http/HttpResponse.h"
#include "tests/http/httpclient_test.h"

namespace httpclient_test {
namespace {

using namespace std::chrono_literals;

constexpr DWORD kReceivePiece = 64 * 1024;
using qb::test::okReply;
using qb::test::Reply;

constexpr WORD kUntouched = 12345;
constexpr uint64_t kUnknown = ~0ull;

struct StatusCase {
    std::string name;
    std::string response;
    int result;
    WORD status;
    bool open;
    uint64_t size;
};

TEST_F(HttpClientTest, OpenResultsFollowTheStatusLine) {
    const std::vector<StatusCase> cases = {
        {"200", Response("HTTP/1.0 200 OK", "Content-Length: 4\r\n", "body"), 1, 200, true, 4},
        {"201", Response("HTTP/1.0 201 Created", "", "body"), 1, 201, true, kUnknown},
        {"206 from the start",
         Response("HTTP/1.1 206 Partial Content",
                  "Content-Range: bytes 0-3/4\r\nContent-Length: 4\r\n", "body"),
         1, 206, true, 4},
        {"206 of another range",
         Response("HTTP/1.1 206 Partial Content",
                  "Content-Range: bytes 10-13/20\r\nContent-Length: 4\r\n", "body"),
         kHttpRefused, 206, false, kUnknown},
        {"404", Response("HTTP/1.0 404 Not Found", "Content-Length: 9\r\n", "not found"),
         kHttpRefused, 404, false, kUnknown},
        {"500", Response("HTTP/1.0 500 Oops", "", ""), kHttpRefused, 500, false, kUnknown},
        {"304", Response("HTTP/1.0 304 Not Modified", "", ""), kHttpRefused, 304, false, kUnknown},
        {"199", Response("HTTP/1.0 199 Odd", "", ""), kHttpRefused, 199, false, kUnknown},
        {"207", Response("HTTP/1.0 207 Multi", "", ""), kHttpRefused, 207, false, kUnknown},
        {"401 without a callback",
         Response("HTTP/1.0 401 Unauthorized", "WWW-Authenticate: Basic realm=\"x\"\r\n", ""),
         kHttpRefused, 401, false, kUnknown},
        // A status line that does not parse has its own result, whatever part of it matched:
        // one number matched must not read as "accepted".
        {"one number", Response("HTTP/1 200 OK", "", "x"), kHttpBadStatusLine, kUntouched, false,
         kUnknown},
        {"two numbers", Response("HTTP/1.0 OK", "", "x"), kHttpBadStatusLine, kUntouched, false,
         kUnknown},
        {"no numbers", Response("ICY 200 OK", "", "x"), kHttpBadStatusLine, kUntouched, false,
         kUnknown},
        {"empty status line", "\r\nHTTP/1.0 200 OK\r\n\r\nx", -1, kUntouched, false, kUnknown},
        {"nothing at all", "", -1, kUntouched, false, kUnknown},
        {"line feeds only", "HTTP/1.0 200 OK\nContent-Length: 1\n\nx", 1, 200, true, 1},
        {"64-bit length", Response("HTTP/1.0 200 OK", "Content-Length: 6000000000\r\n", "x"), 1,
         200, true, 6000000000ull},
        // Header names have no case.
        {"lower-case length", Response("HTTP/1.0 200 OK", "content-length: 4\r\n", "body"), 1, 200,
         true, 4},
        {"upper-case length", Response("HTTP/1.0 200 OK", "CONTENT-LENGTH: 3\r\n", "abc"), 1, 200,
         true, 3},
        {"lower-case range of another start",
         Response("HTTP/1.1 206 Partial Content",
                  "content-range: bytes 10-13/20\r\nContent-Length: 4\r\n", "body"),
         kHttpRefused, 206, false, kUnknown},
        {"length repeated in another case",
         Response("HTTP/1.0 200 OK", "Content-Length: 9\r\ncontent-length: 2\r\n", "ok"), 1, 200,
         true, 2},
        {"length not a number", Response("HTTP/1.0 200 OK", "Content-Length: 4x\r\n", "body"), 1,
         200, true, kUnknown},
        {"empty length", Response("HTTP/1.0 200 OK", "Content-Length:\r\n", "body"), 1, 200, true,
         kUnknown},
        {"repeated length",
         Response("HTTP/1.0 200 OK", "Content-Length: 9\r\nContent-Length: 2\r\n", "ok"), 1, 200,
         true, 2},
    };
    for (const StatusCase& c : cases) server.addReply(Reply().send(c.response));
    for (const StatusCase& c : cases) {
        SCOPED_TRACE(c.name);
        status = kUntouched;
        EXPECT_EQ(Open(Url("/f")), c.result);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(client.IsOpen(), c.open);
        EXPECT_EQ(Size(), c.size);
        if (!c.open) {
            char byte = 0;
            DWORD count = 1;
            EXPECT_EQ(client.Read(&byte, &count), kResultFail);
            EXPECT_EQ(FinalUrl(), "<none>");
        }
    }
    EXPECT_EQ(server.connectionCount(), cases.size());
}

TEST_F(HttpClientTest, AHeaderLineWithoutAColonEndsTheHeadersAndTheRestIsBody) {
    server.addReply(Reply().send(Response(
        "HTTP/1.0 200 OK", "Content-Type: text/plain\r\nno colon here\r\nX-After: 1\r\n", "body")));
    ASSERT_EQ(Open(Url("/f")), kResultOk);
    LONG index = 0;
    ASSERT_EQ(client.ResponseHeaders()->Find(TEXT("Content-Type"), &index), 0);
    EXPECT_GE(index, 0);
    ASSERT_EQ(client.ResponseHeaders()->Find(TEXT("X-After"), &index), 0);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(ReadBody(), "X-After: 1\r\n\r\nbody");
}

TEST_F(HttpClientTest, HeaderValuesKeepTheirCaseAndTrailingSpaces) {
    server.addReply(Reply().send(
        Response("HTTP/1.0 200 OK", "X-Mixed:   Value With Spaces  \r\nX-Colon: a:b\r\n", "")));
    ASSERT_EQ(Open(Url("/f")), kResultOk);
    PropertyRecord record = {};
    record.key = TEXT("X-Mixed");
    record.type = kPropertyWide;
    ASSERT_EQ(client.ResponseHeaders()->Get(&record), kResultOk);
    EXPECT_EQ(A(record.wideText), "Value With Spaces  ");
    record.key = TEXT("X-Colon");
    record.type = kPropertyWide;
    ASSERT_EQ(client.ResponseHeaders()->Get(&record), kResultOk);
    EXPECT_EQ(A(record.wideText), "a:b");
}

TEST_F(HttpClientTest, LongStatusAndHeaderLinesAreCutAndTheirRestSkipped) {
    const std::string longReason(300, 'r');
    const std::string longValue(3000, 'v');
    server.addReply(Reply().send(Response(
        "HTTP/1.0 200 " + longReason, "X-Long: " + longValue + "\r\nContent-Length: 2\r\n", "ok")));
    ASSERT_EQ(Open(Url("/f")), kResultOk);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(Size(), 2u);
    PropertyRecord record = {};
    record.key = TEXT("X-Long");
    record.type = kPropertyWide;
    ASSERT_EQ(client.ResponseHeaders()->Get(&record), kResultOk);
    EXPECT_EQ(A(record.wideText), std::string(kHttpHeaderLineCapacity - 1 - 8, 'v'));
    EXPECT_EQ(ReadBody(), "ok");

    // A cut status line still parses when its numbers came before the cut.
    server.addReply(Reply().send(Response("HTTP/1.0 404 " + longReason, "", "")));
    EXPECT_EQ(Open(Url("/f")), kHttpRefused);
    EXPECT_EQ(status, 404);
}

// A read returns what has arrived, up to its count, without waiting for the rest of the
// piece: the body comes in pieces of 7 bytes, and a pause of the server's does not hold
// back the bytes sent before it.
TEST_F(HttpClientTest, ReadsTheBodyAsItArrivesAndCountsWhatCameBeforeTheEnd) {
    std::string body;
    for (int i = 0; i < 300; ++i) body.push_back(static_cast<char>('a' + i % 26));
    server.addReply(Reply()
                        .send("HTTP/1.0 200 OK\r\nContent-Length: 300\r\n\r\n")
                        .sendInPieces(body.substr(0, 290), 7, 1ms)
                        .pause(1500ms)
                        .send(body.substr(290)));
    ASSERT_EQ(Open(Url("/f")), kResultOk);
    char buffer[128];
    std::string got;
    for (;;) {
        DWORD count = sizeof buffer;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(client.Read(buffer, &count), kResultOk);
        if (got.size() < 290 && got.size() + count >= 290) {
            EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms); // not held for the rest
        }
        got.append(buffer, count);
        EXPECT_EQ(client.Position(), got.size());
        if (count == 0) break;
    }
    EXPECT_EQ(got, body);
}

TEST_F(HttpClientTest, AReadAcrossAnEarlyEndReturnsWhatCame) {
    server.addReply(Reply().send(
        Response("HTTP/1.0 200 OK", "Content-Length: 5000\r\n", std::string(1000, 'x'))));
    ASSERT_EQ(Open(Url("/f")), kResultOk);
    std::string buffer(4096, '\0');
    DWORD count = 4096;
    EXPECT_EQ(client.Read(buffer.data(), &count), kResultOk);
    EXPECT_EQ(count, 1000u);
    EXPECT_EQ(client.Position(), 1000u);
    count = 4096;
    EXPECT_EQ(client.Read(buffer.data(), &count), kResultOk);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(client.Position(), 1000u);
}

// The body straight into a file: the bytes that came with the head wait in the
// connection's read-ahead, so the first move is refused and Read takes them; the moves bring
// the rest, and the position counts both.
TEST_F(HttpClientTest, ReadToFileMovesTheBodyAfterTheBytesThatCameWithTheHead) {
    std::string body(200000, '\0');
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7 + i / 300);
    server.addReply(
        Reply()
            .send(Response("HTTP/1.0 200 OK", "Content-Length: 200000\r\n", body.substr(0, 100)))
            .pause(50ms)
            .sendInPieces(body.substr(100), 30000, 1ms));
    ASSERT_EQ(Open(Url("/f")), kResultOk);
    char pattern[] = "/tmp/qb-read-to-file-XXXXXX";
    const int made = mkstemp(pattern);
    ASSERT_GE(made, 0);
    close(made);
    const std::u16string path = U(pattern);
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    std::string buffer(kReceivePiece, '\0');
    uint64_t total = 0;
    int refused = 0;
    int moves = 0;
    for (;;) {
        DWORD count = kReceivePiece;
        const int result = client.ReadToFile(file, &count);
        if (result == kSocketMoveUnavailable) {
            ++refused;
            EXPECT_EQ(count, 0u);
            count = kReceivePiece;
            ASSERT_EQ(client.Read(buffer.data(), &count), kResultOk);
            DWORD written = 0;
            ASSERT_TRUE(WriteFile(file, buffer.data(), count, &written, nullptr));
        } else {
            ASSERT_EQ(result, kResultOk);
            moves += count > 0;
        }
        total += count;
        EXPECT_EQ(client.Position(), total);
        if (count == 0) break;
    }
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_GE(refused, 1);
    EXPECT_GE(moves, 1);
    std::ifstream in(pattern, std::ios::binary);
    const std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    unlink(pattern);
    EXPECT_EQ(got.size(), body.size());
    EXPECT_TRUE(got == body);
}

// The bytes before a reset come first, with success; the read after them fails.
TEST_F(HttpClientTest, AResetDuringTheBodyFailsTheReadAfterTheBytesBeforeIt) {
    server.addReply(Reply()
                        .send(Response("HTTP/1.0 200 OK", "Content-Length: 100\r\n", "abc"))
                        .pause(300ms)
                        .reset());
    ASSERT_EQ(Open(Url("/f")), kResultOk);
    char buffer[100];
    DWORD count = sizeof buffer;
    EXPECT_EQ(client.Read(buffer, &count), kResultOk);
    EXPECT_EQ(std::string(buffer, count), "abc");
    count = sizeof buffer;
    EXPECT_EQ(client.Read(buffer, &count), kResultFail);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(client.Position(), 3u);
}

TEST_F(HttpClientTest, StreamOperationsCheckTheirArgumentsAndTheState) {
    char byte = 0;
    DWORD count = 1;
    uint64_t size = 0;
    const int64_t offset = 0;
    EXPECT_EQ(client.Read(&byte, nullptr), kResultNullArgument);
    EXPECT_EQ(client.Read(&byte, &count), kResultFail);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(client.Write(&byte, &count), kResultFail);
    EXPECT_EQ(client.GetSize(nullptr), kResultNullArgument);
    EXPECT_EQ(client.GetSize(&size), kResultFail);
    EXPECT_EQ(client.Seek(nullptr, nullptr, kSeekBegin), kResultNullArgument);
    EXPECT_EQ(client.Seek(&offset, nullptr, kSeekBegin), kResultFail);
    EXPECT_EQ(client.Close(), kResultNo);
    WCHAR text[8];
    EXPECT_EQ(client.GetFinalUrl(text, 8), kResultFail);
    EXPECT_EQ(client.GetName(text, 8), kResultFail); // no URL yet
}

TEST_F(HttpClientTest, WritesGoToTheConnectionAndCloseResetsEverything) {
    server.addReply(Reply()
                        .send(Response("HTTP/1.0 200 OK", "Content-Length: 2\r\n", "ok"))
                        .waitForBytes(ExpectedRequest("/f", Host(), 0).size() + 5, 2s));
    ASSERT_EQ(Open(Url("/f")), kResultOk);
    DWORD count = 5;
    EXPECT_EQ(client.Write("extra", &count), kResultOk);
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(client.Position(), 5u);
    ASSERT_TRUE(server.waitForFinished(1));
    EXPECT_EQ(server.connection(0)->received, ExpectedRequest("/f", Host(), 0) + "extra");

    EXPECT_EQ(client.Close(), kResultOk);
    EXPECT_FALSE(client.IsOpen());
    EXPECT_EQ(client.Position(), 0u);
    EXPECT_EQ(Size(), kUnknown);
    EXPECT_EQ(client.ResponseHeaders()->Count(), 0);
    EXPECT_EQ(client.Close(), kResultNo);
}

TEST_F(HttpClientTest, AFinalUrlTooLongForTheCallersBufferIsNotCut) {
    server.addReply(okReply("x"));
    ASSERT_EQ(Open(Url("/a/long/path")), kResultOk);
    WCHAR small[10] = {u'?'};
    EXPECT_EQ(client.GetFinalUrl(small, 10), kResultTruncated);
    EXPECT_EQ(A(small), "");
    WCHAR name[5] = {u'?'};
    EXPECT_EQ(client.GetFileName(name, 5), kResultOk);
    EXPECT_EQ(A(name), "path");
    EXPECT_EQ(client.GetFileName(name, 4), kResultFail);
}

} // namespace
} // namespace httpclient_test
