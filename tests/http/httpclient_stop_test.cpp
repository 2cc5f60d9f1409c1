// Stopping a transfer from another thread: Abort and Close wake a read blocked on the network
// at once, and the connection is never destroyed while the reader is still inside it.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "tests/http/httpclient_test.h"

namespace httpclient_test {
namespace {

using namespace std::chrono_literals;
using qb::test::Reply;
using Clock = std::chrono::steady_clock;

constexpr auto kWakeLimit = 1s;

class StopTest : public HttpClientTest {
protected:
    // Opens /f on a server that sends the head and ten body bytes, then holds the connection.
    void OpenStalling() {
        server.addReply(
            Reply()
                .send(Response("HTTP/1.0 200 OK", "Content-Length: 1000\r\n", "0123456789"))
                .stall(20s));
        ASSERT_EQ(Open(Url("/f")), kResultOk);
        ASSERT_TRUE(server.waitForStalls(1));
    }

    // Starts a reader that reads until the end or a failure: it takes the ten bytes, then
    // blocks in the next read. readCount is what all its reads brought, readResult the last
    // read's result.
    void StartReader() {
        reader = std::thread([this] {
            std::string buffer(4096, '\0');
            DWORD total = 0;
            int result = kResultOk;
            for (;;) {
                DWORD count = 4096;
                result = client.Read(buffer.data(), &count);
                total += count;
                if (result <= 0 || count == 0) break;
                readCount = total;
            }
            readResult = result;
            readCount = total;
            readReturned = true;
        });
    }

    std::thread reader;
    std::atomic<bool> readReturned{false};
    std::atomic<int> readResult{-100};
    std::atomic<DWORD> readCount{0};
};

TEST_F(StopTest, AbortFromAnotherThreadWakesABlockedRead) {
    OpenStalling();
    StartReader();
    std::this_thread::sleep_for(200ms);
    EXPECT_FALSE(readReturned);
    const auto start = Clock::now();
    EXPECT_EQ(client.Abort(), kResultOk);
    reader.join();
    EXPECT_LT(Clock::now() - start, kWakeLimit);
    EXPECT_EQ(readCount, 10u);
    EXPECT_EQ(readResult, kResultOk);
    EXPECT_EQ(client.Position(), 10u);
    // Abort freed nothing: the client is still open until its owner closes it.
    EXPECT_TRUE(client.IsOpen());
    EXPECT_EQ(client.Close(), kResultOk);
}

TEST_F(StopTest, CloseFromAnotherThreadWakesTheRead) {
    OpenStalling();
    StartReader();
    std::this_thread::sleep_for(200ms);
    const auto start = Clock::now();
    std::thread closer([this] { EXPECT_EQ(client.Close(), kResultOk); });
    closer.join();
    reader.join();
    EXPECT_LT(Clock::now() - start, kWakeLimit);
    EXPECT_EQ(readCount, 10u);
    EXPECT_FALSE(client.IsOpen());
    char byte = 0;
    DWORD count = 1;
    EXPECT_EQ(client.Read(&byte, &count), kResultFail);
}

TEST_F(StopTest, AbortDuringOpenEndsTheWaitForTheStatusLine) {
    server.addReply(Reply().stall(20s));
    std::atomic<int> result{-100};
    std::thread opener([this, &result] { result = Open(Url("/f")); });
    ASSERT_TRUE(server.waitForStalls(1));
    const auto start = Clock::now();
    EXPECT_EQ(client.Abort(), kResultOk);
    opener.join();
    EXPECT_LT(Clock::now() - start, kWakeLimit);
    EXPECT_EQ(result, kResultFail);
    EXPECT_FALSE(client.IsOpen());
}

TEST_F(StopTest, RepeatedStopsWhileReadingLeaveNoRaceBehind) {
    constexpr int kRounds = 10;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE(round);
        server.addReply(Reply()
                            .send(Response("HTTP/1.0 200 OK", "Content-Length: 100000\r\n", ""))
                            .sendInPieces(std::string(5000, 'b'), 100, 1ms)
                            .stall(20s));
        ASSERT_EQ(Open(Url("/f")), kResultOk);
        std::atomic<bool> stop{false};
        std::atomic<uint64_t> received{0};
        std::thread worker([&] {
            char buffer[128];
            while (!stop) {
                DWORD count = sizeof buffer;
                const int result = client.Read(buffer, &count);
                received += count; // counted also when the read failed part-way
                if (result <= 0 || count == 0) break;
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(5 * round));
        client.Abort();
        stop = true;
        worker.join();
        EXPECT_EQ(client.Position(), received.load());
        EXPECT_EQ(client.Close(), kResultOk);
    }
    // Aborting a client that has nothing connected is harmless.
    EXPECT_EQ(client.Abort(), kResultFail);
}

} // namespace
} // namespace httpclient_test
