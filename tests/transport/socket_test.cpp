// Socket and SocketStream against the scripted loopback server: the connection's life, the
// Stream slots, the start-up count, and a shutdown from another thread waking a receive.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "base/Results.h"
#include "tests/support/scripted_server.h"
#include "transport/SocketStream.h"

namespace {

using namespace std::chrono_literals;
using qb::test::Reply;
using qb::test::ScriptedServer;
using Clock = std::chrono::steady_clock;

constexpr DWORD kLoopback = 0x7F000001;
constexpr int kNoSuchSocketType = 99; // socket() refuses it: a stream without a socket

std::string ReceiveAll(SocketStream& stream) {
    std::string all;
    char buffer[64];
    for (;;) {
        DWORD count = 0;
        if (stream.Receive(buffer, sizeof buffer, &count) != kResultOk || count == 0) break;
        all.append(buffer, count);
    }
    return all;
}

class SocketStreamTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.start()); }
    WORD Port() const { return static_cast<WORD>(server.port()); }
    ScriptedServer server;
};

TEST_F(SocketStreamTest, SendsAndReceivesOverOneConnection) {
    server.addReply(Reply().send("HTTP/1.0 200 OK\n\nbody"));
    SocketStream stream(SOCK_STREAM);
    ASSERT_EQ(stream.Connect(kLoopback, Port()), kResultOk);
    EXPECT_EQ(stream.Remote().sin_family, AF_INET);
    EXPECT_EQ(stream.Remote().sin_port, htons(Port()));
    EXPECT_EQ(stream.Remote().sin_addr.s_addr, htonl(kLoopback));

    const std::string request = "GET / HTTP/1.0\n\n";
    DWORD sent = 0;
    ASSERT_EQ(stream.Send(request.data(), static_cast<DWORD>(request.size()), &sent), kResultOk);
    EXPECT_EQ(sent, request.size());
    EXPECT_EQ(ReceiveAll(stream), "HTTP/1.0 200 OK\n\nbody");
    // The peer has closed: every further receive is 1 with count 0.
    for (int i = 0; i < 3; ++i) {
        char byte = 0;
        DWORD count = 7;
        EXPECT_EQ(stream.Receive(&byte, 1, &count), kResultOk);
        EXPECT_EQ(count, 0u);
    }
    ASSERT_TRUE(server.waitForRequests(1));
    EXPECT_EQ(server.request(0), request);
}

TEST_F(SocketStreamTest, StreamSlotsReadAtMostTheCountAndWriteLeavesItAsPassed) {
    server.addReply(Reply().send("0123456789"));
    SocketStream stream(SOCK_STREAM);
    ASSERT_EQ(stream.Connect(kLoopback, Port()), kResultOk);
    const std::string request = "GET / HTTP/1.0\n\n";
    DWORD count = static_cast<DWORD>(request.size());
    EXPECT_EQ(stream.Write(request.data(), &count), kResultOk);
    EXPECT_EQ(count, request.size());
    ASSERT_TRUE(server.waitForRequests(1));

    std::string got;
    char buffer[4];
    do {
        count = 3;
        ASSERT_EQ(stream.Read(buffer, &count), kResultOk);
        EXPECT_LE(count, 3u);
        got.append(buffer, count);
    } while (count > 0);
    EXPECT_EQ(got, "0123456789");

    EXPECT_EQ(stream.Read(buffer, nullptr), kResultNullArgument);
    EXPECT_EQ(stream.Write(buffer, nullptr), kResultNullArgument);
    WCHAR name[8];
    uint64_t size = 0;
    const int64_t offset = 0;
    EXPECT_EQ(stream.GetName(name, 8), kResultFail);
    EXPECT_EQ(stream.GetSize(&size), kResultFail);
    EXPECT_EQ(stream.Seek(&offset, nullptr, kSeekBegin), kResultFail);
    EXPECT_EQ(stream.GetAccessor(nullptr), kResultNullArgument);
}

TEST_F(SocketStreamTest, ClosedStreamsAndStreamsWithoutASocketFailWithoutConnecting) {
    SocketStream closed(SOCK_STREAM);
    EXPECT_EQ(closed.Close(), kResultOk);
    EXPECT_EQ(closed.Close(), kResultOk); // nothing left to close
    EXPECT_EQ(closed.Remote().sin_family, AF_INET);
    SocketStream neverCreated(kNoSuchSocketType);
    for (SocketStream* stream : {&closed, &neverCreated}) {
        hostent* entry = nullptr;
        EXPECT_EQ(stream->Resolve(TEXT("localhost"), &entry), kResultFail);
        EXPECT_EQ(stream->Resolve(TEXT("localhost"), nullptr), kResultNullArgument);
        EXPECT_EQ(stream->Connect(kLoopback, Port()), kResultFail);
        DWORD count = 5;
        EXPECT_EQ(stream->Send("x", 1, &count), kResultFail);
        EXPECT_EQ(count, 0u);
        char byte = 0;
        count = 5;
        EXPECT_EQ(stream->Receive(&byte, 1, &count), kResultFail);
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(stream->Receive(&byte, 1, nullptr), kResultNullArgument);
        EXPECT_EQ(stream->Shutdown(), kResultFail);
    }
    EXPECT_EQ(server.connectionCount(), 0u);
}

TEST_F(SocketStreamTest, ShutdownFromAnotherThreadWakesABlockedReceive) {
    server.addReply(Reply().answerAtOnce().send("partial").stall(20s));
    SocketStream stream(SOCK_STREAM);
    ASSERT_EQ(stream.Connect(kLoopback, Port()), kResultOk);
    ASSERT_TRUE(server.waitForStalls(1));

    std::atomic<bool> returned{false};
    std::string got;
    int lastResult = 0;
    std::thread reader([&] {
        char buffer[64];
        for (;;) {
            DWORD count = 0;
            lastResult = stream.Receive(buffer, sizeof buffer, &count);
            if (lastResult != kResultOk || count == 0) break;
            got.append(buffer, count);
        }
        returned = true;
    });
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(returned);
    const auto start = Clock::now();
    EXPECT_EQ(stream.Shutdown(), kResultOk);
    reader.join();
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_EQ(got, "partial");
    EXPECT_GE(lastResult, kResultFail);
}

TEST_F(SocketStreamTest, CloseFromAnotherThreadWakesABlockedReceive) {
    server.addReply(Reply().answerAtOnce().stall(20s));
    SocketStream stream(SOCK_STREAM);
    ASSERT_EQ(stream.Connect(kLoopback, Port()), kResultOk);
    ASSERT_TRUE(server.waitForStalls(1));
    std::thread reader([&] {
        char byte = 0;
        DWORD count = 9;
        stream.Receive(&byte, 1, &count);
        EXPECT_EQ(count, 0u);
    });
    std::this_thread::sleep_for(100ms);
    const auto start = Clock::now();
    EXPECT_EQ(stream.Close(), kResultOk);
    reader.join();
    EXPECT_LT(Clock::now() - start, 1s);
}

TEST(SocketStartup, CountsLiveSocketsAndCleansUpWithTheLast) {
    const LONG before = Socket::StartupCount();
    {
        SocketStream first(SOCK_STREAM);
        EXPECT_EQ(Socket::StartupCount(), before + 1);
        SocketStream second(SOCK_STREAM);
        EXPECT_EQ(Socket::StartupCount(), before + 2);
    }
    EXPECT_EQ(Socket::StartupCount(), before);
}

TEST(SocketStartup, StreamsMadeAndDestroyedOnManyThreadsKeepTheCountRight) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 50;
    const LONG before = Socket::StartupCount();
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds; ++i) {
                SocketStream stream(SOCK_STREAM);
                // A socket made while another thread starts or cleans up still works.
                hostent* entry = nullptr;
                if (stream.Resolve(TEXT("localhost"), &entry) != kResultOk) ++failures;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(Socket::StartupCount(), before);
}

} // namespace
