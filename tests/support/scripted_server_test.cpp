// The in-process scripted server, seen from a raw socket client: byte-exact answers, records,
// pieces, stalls, resets, ranges, and that stop cuts everything short.
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/loopback.h"
#include "tests/support/scripted_server.h"

namespace qb::test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* kRequest = "GET /f HTTP/1.0\nHost: 127.0.0.1\nRange: bytes=0-\n\n";

Millis since(Clock::time_point start) {
    return std::chrono::duration_cast<Millis>(Clock::now() - start);
}

TEST(ScriptedServer, AnswersEachConnectionInOrderByteExactly) {
    // Lines without CR, a header without a colon and a lower-case name are sent as written.
    const std::string first = "HTTP/1.0 200 OK\ncontent-length: 3\nno colon here\n\nabc";
    const std::string second = std::string("HTTP/1.0 404 Not Found\r\n\r\n\0\xff", 28);
    ScriptedServer server;
    server.addReply(Reply().send(first));
    server.addReply(Reply().send(second));
    ASSERT_TRUE(server.start());

    EXPECT_EQ(roundTrip(server.port(), kRequest), first);
    EXPECT_EQ(roundTrip(server.port(), "GET /2 HTTP/1.0\r\n\r\n"), second);
    ASSERT_TRUE(server.waitForFinished(2));
    EXPECT_EQ(server.requests(), (std::vector<std::string>{kRequest, "GET /2 HTTP/1.0\r\n\r\n"}));
    const auto record = server.connection(0);
    ASSERT_TRUE(record);
    EXPECT_TRUE(record->headComplete);
    EXPECT_FALSE(record->sendFailed);
    EXPECT_FALSE(record->waitTimedOut);
}

TEST(ScriptedServer, RecordsBytesAfterTheHeadThatArriveBeforeTheAnswer) {
    ScriptedServer server;
    const std::string request = std::string(kRequest) + "BODY";
    server.addReply(Reply().waitForBytes(request.size()).send("ok"));
    ASSERT_TRUE(server.start());

    LoopbackClient client;
    ASSERT_TRUE(client.connect(server.port()));
    ASSERT_TRUE(client.sendAll(kRequest));
    std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(client.sendAll("BODY"));
    EXPECT_EQ(client.receiveAll(), "ok");
    ASSERT_TRUE(server.waitForFinished(1));
    EXPECT_EQ(server.request(0), request);
    EXPECT_FALSE(server.connection(0)->waitTimedOut);
}

TEST(ScriptedServer, SendsPiecesWithPausesBetweenThem) {
    ScriptedServer server;
    server.addReply(Reply().sendInPieces("0123456789", 5, 300ms));
    ASSERT_TRUE(server.start());

    LoopbackClient client;
    ASSERT_TRUE(client.connect(server.port()));
    ASSERT_TRUE(client.sendAll(kRequest));
    EXPECT_EQ(client.receive(5), "01234");
    const auto firstPiece = Clock::now();
    EXPECT_EQ(client.receive(1, 100ms), "");
    EXPECT_TRUE(client.timedOut());
    EXPECT_EQ(client.receiveAll(), "56789");
    EXPECT_GE(since(firstPiece), 250ms);
}

TEST(ScriptedServer, StallHoldsTheConnectionUntilReleased) {
    ScriptedServer server;
    server.addReply(Reply().send("head").stall(20s).send("tail"));
    ASSERT_TRUE(server.start());

    LoopbackClient client;
    ASSERT_TRUE(client.connect(server.port()));
    ASSERT_TRUE(client.sendAll(kRequest));
    EXPECT_EQ(client.receive(4), "head");
    ASSERT_TRUE(server.waitForStalls(1));
    EXPECT_EQ(client.receive(1, 200ms), "");
    EXPECT_TRUE(client.timedOut());
    server.release();
    EXPECT_EQ(client.receiveAll(), "tail");
    EXPECT_TRUE(client.peerClosed());
}

TEST(ScriptedServer, ReleaseBeforeTheStallIsKeptForIt) {
    ScriptedServer server;
    server.release();
    server.addReply(Reply().stall(20s).send("after"));
    ASSERT_TRUE(server.start());
    const auto start = Clock::now();
    EXPECT_EQ(roundTrip(server.port(), kRequest), "after");
    EXPECT_LT(since(start), 5s);
}

TEST(ScriptedServer, StallEndsAtItsLimitOrWhenThePeerCloses) {
    ScriptedServer server;
    server.addReply(Reply().stall(200ms).send("late"));
    server.addReply(Reply().stall(20s).send("never read"));
    ASSERT_TRUE(server.start());

    EXPECT_EQ(roundTrip(server.port(), kRequest), "late");

    LoopbackClient client;
    ASSERT_TRUE(client.connect(server.port()));
    ASSERT_TRUE(client.sendAll(kRequest));
    ASSERT_TRUE(server.waitForStalls(2));
    const auto start = Clock::now();
    client.close();
    ASSERT_TRUE(server.waitForFinished(2));
    EXPECT_LT(since(start), 3s);
    EXPECT_TRUE(server.connection(1)->peerClosed);
}

TEST(ScriptedServer, ResetAndEarlyCloseEndTheConnectionDifferently) {
    struct Case {
        const char* name;
        Reply reply;
        bool reset;
    };
    const Case cases[] = {
        {"reset", Reply().send("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\npart").reset(), true},
        {"close",
         Reply()
             .send("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\npart")
             .close()
             .send("not sent"),
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedServer server;
        server.addReply(c.reply);
        ASSERT_TRUE(server.start());
        LoopbackClient client;
        ASSERT_TRUE(client.connect(server.port()));
        ASSERT_TRUE(client.sendAll(kRequest));
        ASSERT_TRUE(server.waitForFinished(1));
        const std::string received = client.receiveAll();
        EXPECT_TRUE(client.peerClosed());
        EXPECT_EQ(client.peerReset(), c.reset);
        if (!c.reset) {
            EXPECT_EQ(received, "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\npart");
        }
    }
}

TEST(ScriptedServer, AnswersAtOnceWithoutWaitingForARequest) {
    ScriptedServer server;
    server.addReply(Reply().answerAtOnce().send("hello"));
    ASSERT_TRUE(server.start());
    LoopbackClient client;
    ASSERT_TRUE(client.connect(server.port()));
    EXPECT_EQ(client.receive(5, 2s), "hello");
}

TEST(ScriptedServer, UnscriptedConnectionsAreClosedOrGetTheFallback) {
    ScriptedServer server;
    server.addReply(okReply("one"));
    ASSERT_TRUE(server.start());
    EXPECT_EQ(roundTrip(server.port(), kRequest),
              "HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\none");
    EXPECT_EQ(roundTrip(server.port(), kRequest), "");
    server.setFallback([](const std::string& request) {
        return Reply().send("seen " + std::to_string(request.size()));
    });
    EXPECT_EQ(roundTrip(server.port(), "x\n\n"), "seen 3");
    ASSERT_TRUE(server.waitForFinished(3));
    EXPECT_EQ(server.request(1), kRequest);
}

TEST(ScriptedServer, ServesConnectionsConcurrently) {
    ScriptedServer server;
    server.addReply(Reply().stall(20s).send("first"));
    server.addReply(Reply().send("second"));
    ASSERT_TRUE(server.start());

    LoopbackClient stalled;
    ASSERT_TRUE(stalled.connect(server.port()));
    ASSERT_TRUE(stalled.sendAll(kRequest));
    ASSERT_TRUE(server.waitForStalls(1));
    EXPECT_EQ(roundTrip(server.port(), kRequest), "second");
    server.release();
    EXPECT_EQ(stalled.receiveAll(), "first");
}

TEST(ScriptedServer, StopEndsStallsAndPausesAtOnce) {
    ScriptedServer server;
    server.addReply(Reply().stall(30s));
    server.addReply(Reply().pause(30s));
    ASSERT_TRUE(server.start());
    LoopbackClient a, b;
    ASSERT_TRUE(a.connect(server.port()) && a.sendAll(kRequest));
    ASSERT_TRUE(server.waitForStalls(1));
    ASSERT_TRUE(b.connect(server.port()) && b.sendAll(kRequest));
    ASSERT_TRUE(server.waitForRequests(2));

    const auto start = Clock::now();
    server.stop();
    EXPECT_LT(since(start), 1s);
    EXPECT_EQ(server.finishedCount(), 2u);
    EXPECT_EQ(server.request(1), kRequest);
    a.receiveAll(1s);
    EXPECT_TRUE(a.peerClosed());
}

TEST(ScriptedServer, WaitsAreBoundedWhenNothingHappens) {
    ScriptedServer server;
    ASSERT_TRUE(server.start());
    const auto start = Clock::now();
    EXPECT_FALSE(server.waitForConnections(1, 100ms));
    EXPECT_FALSE(server.waitForStalls(1, 100ms));
    EXPECT_LT(since(start), 2s);
}

TEST(ScriptedServer, IncompleteRequestIsAnsweredAfterItsWait) {
    ScriptedServer server;
    server.addReply(Reply().answerAtOnce().waitForHead(300ms).send("anyway"));
    ASSERT_TRUE(server.start());
    LoopbackClient client;
    ASSERT_TRUE(client.connect(server.port()));
    ASSERT_TRUE(client.sendAll("GET / HTTP/1.0\n"));
    EXPECT_EQ(client.receiveAll(), "anyway");
    ASSERT_TRUE(server.waitForFinished(1));
    EXPECT_TRUE(server.connection(0)->waitTimedOut);
    EXPECT_FALSE(server.connection(0)->headComplete);
}

TEST(HttpReplies, RangeResponderAnswersByTheRangeLine) {
    struct Case {
        const char* request;
        bool honour;
        std::string expected;
    };
    const std::string body = "0123456789";
    const Case cases[] = {
        {"GET /f HTTP/1.0\nHost: h\n\n", true,
         "HTTP/1.0 200 OK\r\nContent-Length: 10\r\nX: 1\r\n\r\n0123456789"},
        {"GET /f HTTP/1.0\nRange: bytes=3-\n\n", true,
         "HTTP/1.0 206 Partial Content\r\nContent-Range: bytes 3-9/10\r\nContent-Length: "
         "7\r\nX: 1\r\n\r\n3456789"},
        {"GET /f HTTP/1.0\r\nrange: bytes=0-\r\n\r\n", true,
         "HTTP/1.0 206 Partial Content\r\nContent-Range: bytes 0-9/10\r\nContent-Length: "
         "10\r\nX: 1\r\n\r\n0123456789"},
        {"GET /f HTTP/1.0\nRange: bytes=2-4\n\n", true,
         "HTTP/1.0 206 Partial Content\r\nContent-Range: bytes 2-4/10\r\nContent-Length: "
         "3\r\nX: 1\r\n\r\n234"},
        {"GET /f HTTP/1.0\nRange: bytes=10-\n\n", true,
         "HTTP/1.0 416 Requested Range Not Satisfiable\r\nContent-Range: bytes "
         "*/10\r\nContent-Length: 0\r\nX: 1\r\n\r\n"},
        {"GET /f HTTP/1.0\nRange: bytes=3-\n\n", false,
         "HTTP/1.0 200 OK\r\nContent-Length: 10\r\nX: 1\r\n\r\n0123456789"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request);
        const Reply reply = rangeResponder(body, {c.honour, {{"X", "1"}}})(c.request);
        ASSERT_EQ(reply.steps().size(), 1u);
        EXPECT_EQ(reply.steps()[0].bytes, c.expected);
    }
}

TEST(HttpReplies, RequestedRangeReadsOnlyTheHeaderBlock) {
    struct Case {
        const char* request;
        std::optional<uint64_t> first;
    };
    const Case cases[] = {
        {"GET / HTTP/1.0\nRange: bytes=1234567-\n\n", 1234567},
        {"GET / HTTP/1.0\nRANGE:bytes=5-\n\n", 5},
        {"GET / HTTP/1.0\nRange: bytes=5000000000-\n\n", 5000000000ull},
        {"GET / HTTP/1.0\nRange: items=5-\n\n", std::nullopt},
        {"GET / HTTP/1.0\nRange: bytes=-5\n\n", std::nullopt},
        {"GET / HTTP/1.0\nRange: bytes=9-3\n\n", std::nullopt},
        {"GET / HTTP/1.0\n\nRange: bytes=5-\n\n", std::nullopt},
        {"GET / HTTP/1.0\nX-Range: bytes=5-\n\n", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request);
        const auto range = requestedRange(c.request);
        ASSERT_EQ(range.has_value(), c.first.has_value());
        if (range) {
            EXPECT_EQ(range->first, *c.first);
        }
    }
}

TEST(HttpReplies, HeaderBlockEndsAtTheFirstEmptyLine) {
    EXPECT_EQ(headerBlock("A\nB\n\nbody"), "A\nB\n\n");
    EXPECT_EQ(headerBlock("A\r\nB\r\n\r\nbody"), "A\r\nB\r\n\r\n");
    EXPECT_EQ(headerBlock("A\nB\n"), "A\nB\n");
    EXPECT_TRUE(hasCompleteHead("A\n\n"));
    EXPECT_TRUE(hasCompleteHead("A\n\r\n"));
    EXPECT_FALSE(hasCompleteHead("A\r\n"));
    EXPECT_FALSE(hasCompleteHead(""));
}

} // namespace
} // namespace qb::test
