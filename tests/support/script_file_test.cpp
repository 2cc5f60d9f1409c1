// The script format, the requests file, and qb_scripted_server run as a program.
#include <csignal>

#include <gtest/gtest.h>

#include "tests/support/loopback.h"
#include "tests/support/script_file.h"
#include "tests/support/scripted_server_process.h"

namespace qb::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kRequest = "GET / HTTP/1.0\nHost: 127.0.0.1\n\n";

// The bytes a one-block script sends, from its reply's steps.
std::string sentBy(const Script& script, size_t index = 0, const std::string& request = kRequest) {
    std::string bytes;
    const Reply reply = script.connections.at(index).responder(request);
    for (const auto& step : reply.steps()) {
        bytes += step.bytes;
    }
    return bytes;
}

TEST(ScriptFile, BuildsRepliesFromBlocks) {
    TempDir dir;
    ASSERT_TRUE(dir.write("body.bin", std::string("file\0body", 9)));
    std::string error;
    const auto script = parseScript(R"(# comment line
connection
  send "HTTP/1.0 200 OK\n" "x-lower: 1\n\n"   # joined, LF only
  send-pieces 2 10 "abcd"
connection
  at-once
  send-file "body.bin"
  reset
connection
  header "X-Test" "yes"
  ok "hello"
fallback
  range "0123456789"
)",
                                    dir.path(), error);
    ASSERT_TRUE(script) << error;
    ASSERT_EQ(script->connections.size(), 3u);
    ASSERT_TRUE(script->fallback);

    EXPECT_EQ(sentBy(*script, 0), "HTTP/1.0 200 OK\nx-lower: 1\n\nabcd");
    const Reply second = script->connections[1].responder("");
    EXPECT_FALSE(script->connections[1].waitForHead);
    ASSERT_EQ(second.steps().size(), 2u);
    EXPECT_EQ(second.steps()[0].bytes, std::string("file\0body", 9));
    EXPECT_EQ(second.steps()[1].kind, ReplyStep::Kind::Reset);
    EXPECT_EQ(sentBy(*script, 2),
              "HTTP/1.0 200 OK\r\nContent-Length: 5\r\nX-Test: yes\r\n\r\nhello");
    const Reply ranged = script->fallback->responder("GET / HTTP/1.0\nRange: bytes=8-\n\n");
    EXPECT_EQ(ranged.steps().at(0).bytes,
              "HTTP/1.0 206 Partial Content\r\nContent-Range: bytes 8-9/10\r\n"
              "Content-Length: 2\r\n\r\n89");
}

TEST(ScriptFile, TimesAndCountsReachTheSteps) {
    std::string error;
    const auto script = parseScript(
        "connection\npause 20\nstall\nstall 70\nwait-bytes 12\nwait-bytes 3 40\nwait-head\nclose\n",
        ".", error);
    ASSERT_TRUE(script) << error;
    const auto steps = script->connections[0].responder("").steps();
    using K = ReplyStep::Kind;
    ASSERT_EQ(steps.size(), 7u);
    EXPECT_EQ(steps[0].kind, K::Pause);
    EXPECT_EQ(steps[0].time, 20ms);
    EXPECT_EQ(steps[1].time, kDefaultStallLimit);
    EXPECT_EQ(steps[2].time, 70ms);
    EXPECT_EQ(steps[3].count, 12u);
    EXPECT_EQ(steps[3].time, kDefaultRequestWait);
    EXPECT_EQ(steps[4].time, 40ms);
    EXPECT_EQ(steps[5].kind, K::WaitForHead);
    EXPECT_EQ(steps[6].kind, K::Close);
}

TEST(ScriptFile, ReportsTheLineOfAnError) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"send \"x\"\n", "line 1: \"send\" before the first block"},
        {"connection\nsend \"x\n", "line 2: unterminated string"},
        {"connection\nsend \"\\q\"\n", "line 2: unknown escape \\q"},
        {"connection\nsend \"\\x4\"\n", "line 2: \\x needs two hex digits"},
        {"connection\n\nfrobnicate\n", "line 3: unknown keyword \"frobnicate\""},
        {"connection\npause\n", "line 2: a number is missing"},
        {"connection\npause 12ms\n", "line 2: not a number: 12ms"},
        {"connection\nsend\n", "line 2: a quoted text is missing"},
        {"connection\nclose now\n", "line 2: unexpected \"now\""},
        {"connection\nsend \"a\" word\n", "line 2: unexpected \"word\""},
        {"connection\nheader \"A\" \"b\"\nconnection\n", "line 3: header without a following ok"},
        {"connection\nsend \"a\"\nrange \"b\"\n", "line 3: range must be its block's only answer"},
        {"connection\nrange \"b\"\nclose\n", "line 3: range must be its block's only answer"},
        {"connection\nsend-file \"missing.bin\"\n", "line 2: cannot read ./missing.bin"},
        {"fallback\nfallback\n", "line 2: a second fallback"},
        {"\"connection\"\n", "line 1: a line begins with a keyword"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        EXPECT_FALSE(parseScript(c.text, ".", error));
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
    }
}

TEST(ScriptFile, QuotedBytesReadBackExactly) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += char(b);
    std::string error;
    const auto script = parseScript("connection\nsend " + quoteBytes(all) + "\n", ".", error);
    ASSERT_TRUE(script) << error;
    EXPECT_EQ(sentBy(*script), all);
}

TEST(ScriptFile, RequestsFileRoundTripsAndRejectsDamage) {
    const std::vector<RecordedRequest> requests = {
        {1, "GET / HTTP/1.0\n\n"}, {3, std::string("a\0\nconnection 9 request 1\n", 27)}, {4, ""}};
    const auto parsed = parseRequests(formatRequests(requests));
    ASSERT_TRUE(parsed);
    ASSERT_EQ(parsed->size(), 3u);
    for (size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ((*parsed)[i].connection, requests[i].connection);
        EXPECT_EQ((*parsed)[i].bytes, requests[i].bytes);
    }
    for (const char* damaged : {"connection 1 request 5\nabc\n", "connection 1 request 2\nab",
                                "connection x request 1\na\n", "connection 1 request 1 \na\n"}) {
        EXPECT_FALSE(parseRequests(damaged)) << damaged;
    }
    EXPECT_TRUE(parseRequests("")->empty());
}

TEST(ScriptedServerProgram, ServesItsScriptRecordsAndExits) {
    ScriptedServerProcess server;
    ASSERT_TRUE(server.folder().write("big.bin", std::string(100000, 'z')));
    ASSERT_TRUE(server.start("connection\n"
                             "  send \"HTTP/1.0 302 Found\\nLocation: /b\\n\\n\"\n"
                             "connection\n"
                             "  ok-file \"big.bin\"\n"))
        << server.error();
    EXPECT_EQ(roundTrip(server.port(), kRequest), "HTTP/1.0 302 Found\nLocation: /b\n\n");
    const std::string second = roundTrip(server.port(), "GET /b HTTP/1.0\n\n");
    EXPECT_EQ(second,
              "HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(100000, 'z'));
    ASSERT_TRUE(server.waitForExit(10s));
    EXPECT_EQ(server.exitCode(), 0);
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].bytes, kRequest);
    EXPECT_EQ(requests[1].connection, 2u);
    EXPECT_EQ(requests[1].bytes, "GET /b HTTP/1.0\n\n");
}

TEST(ScriptedServerProgram, ReleasesStallsOnSigusr1AndStopsOnSigterm) {
    ScriptedServerProcess server;
    ASSERT_TRUE(server.start("connection\n  stall 30000\n  send \"late\"\n"
                             "fallback\n  send \"more\"\n"))
        << server.error();
    LoopbackClient client;
    ASSERT_TRUE(client.connect(server.port()));
    ASSERT_TRUE(client.sendAll(kRequest));
    EXPECT_EQ(client.receive(1, 300ms), "");
    server.release();
    EXPECT_EQ(client.receiveAll(), "late");
    EXPECT_EQ(roundTrip(server.port(), kRequest), "more");
    EXPECT_FALSE(server.waitForExit(200ms)); // a fallback keeps it serving
    server.stop();
    EXPECT_EQ(server.exitCode(), 0);
    EXPECT_EQ(server.requests().size(), 2u);
}

TEST(ScriptedServerProgram, RefusesABadScriptOrCommandLine) {
    TempDir dir;
    ASSERT_TRUE(dir.write("bad.txt", "connection\nsend 12\n"));
    const auto bad = runProcess(ScriptedServerProcess::programPath(), {dir.file("bad.txt")});
    ASSERT_TRUE(bad.started) << bad.error;
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.err.find("line 2: a quoted text is missing"), std::string::npos) << bad.err;
    const auto usage = runProcess(ScriptedServerProcess::programPath(), {"--limit"});
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_NE(usage.err.find("usage:"), std::string::npos);
}

} // namespace
} // namespace qb::test
