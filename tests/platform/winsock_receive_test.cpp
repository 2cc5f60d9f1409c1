// Receives on a stream socket: the bytes and their order whatever the receive sizes, the end
// and the errors only after what has arrived, closing while bytes are waiting, and two
// threads receiving from one socket.
#include <cstring>
#include <numeric>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <winsock.h>

#include "tests/support/scripted_server.h"

namespace {

using qb::test::Reply;
using qb::test::ScriptedServer;

constexpr WORD kVersion11 = 0x0101;
constexpr const char kRequest[] = "GET / HTTP/1.0\n\n";
constexpr size_t kRequestBytes = sizeof kRequest - 1;
// Several times anything a socket layer would read ahead at once.
constexpr size_t kBodyBytes = 600 * 1024;

std::string patternBody(size_t length) {
    std::string body(length, '\0');
    for (size_t i = 0; i < length; ++i) body[i] = char((i * 131 + i / 977) & 0xFF);
    return body;
}

class WinsockReceive : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(WSAStartup(kVersion11, &data_), 0); }
    void TearDown() override { EXPECT_EQ(WSACleanup(), 0); }

    SOCKET connectAndAsk(const ScriptedServer& server) {
        const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
        EXPECT_NE(s, INVALID_SOCKET);
        sockaddr_in remote{};
        remote.sin_family = AF_INET;
        remote.sin_port = htons(u_short(server.port()));
        remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(connect(s, reinterpret_cast<const sockaddr*>(&remote), sizeof remote), 0);
        EXPECT_EQ(send(s, kRequest, int(kRequestBytes), 0), int(kRequestBytes));
        return s;
    }

    WSADATA data_{};
};

TEST_F(WinsockReceive, EveryReceiveSizeGetsTheBytesInOrderThenTheEnd) {
    const std::string body = patternBody(kBodyBytes);
    // Tiny, odd, the download's piece, and larger than any read-ahead.
    const int sizes[] = {1, 7, 128, 4096, 65535, 65536, 200000};
    for (const int size : sizes) {
        SCOPED_TRACE(size);
        ScriptedServer server;
        server.addReply(Reply().sendInPieces(body, 50000, qb::test::Millis(1)));
        ASSERT_TRUE(server.start());
        const SOCKET s = connectAndAsk(server);
        std::string got;
        std::string buffer(size_t(size), '\0');
        int result = 0;
        while ((result = recv(s, buffer.data(), size, 0)) > 0) {
            ASSERT_LE(result, size);
            got.append(buffer.data(), size_t(result));
        }
        EXPECT_EQ(result, 0);
        EXPECT_EQ(got.size(), body.size());
        EXPECT_TRUE(got == body);
        EXPECT_EQ(recv(s, buffer.data(), size, 0), 0); // the end stays the end
        EXPECT_EQ(closesocket(s), 0);
    }
}

TEST_F(WinsockReceive, PeekShowsWhatTheNextReceiveTakes) {
    ScriptedServer server;
    server.addReply(Reply().send("abcdef"));
    ASSERT_TRUE(server.start());
    const SOCKET s = connectAndAsk(server);
    char buffer[8] = {};
    ASSERT_EQ(recv(s, buffer, 2, 0), 2);
    EXPECT_EQ(std::string(buffer, 2), "ab");
    ASSERT_EQ(recv(s, buffer, 3, MSG_PEEK), 3);
    EXPECT_EQ(std::string(buffer, 3), "cde");
    ASSERT_EQ(recv(s, buffer, sizeof buffer, 0), 4);
    EXPECT_EQ(std::string(buffer, 4), "cdef");
    EXPECT_EQ(recv(s, buffer, sizeof buffer, 0), 0);
    EXPECT_EQ(closesocket(s), 0);
}

TEST_F(WinsockReceive, AResetShowsOnlyAfterTheBytesThatArrivedBeforeIt) {
    ScriptedServer server;
    // The reset follows once the client has taken one byte and answered.
    server.addReply(Reply().send("data").waitForBytes(kRequestBytes + 1).reset());
    ASSERT_TRUE(server.start());
    const SOCKET s = connectAndAsk(server);
    char buffer[8] = {};
    ASSERT_EQ(recv(s, buffer, 1, 0), 1);
    EXPECT_EQ(buffer[0], 'd');
    ASSERT_EQ(send(s, "x", 1, 0), 1);
    ASSERT_TRUE(server.waitForFinished(1));
    ASSERT_EQ(recv(s, buffer, sizeof buffer, 0), 3);
    EXPECT_EQ(std::string(buffer, 3), "ata");
    EXPECT_EQ(recv(s, buffer, sizeof buffer, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
    EXPECT_EQ(closesocket(s), 0);
}

TEST_F(WinsockReceive, AClosedSocketKeepsNoBytesForLaterCalls) {
    ScriptedServer server;
    server.addReply(Reply().send("waiting bytes").stall());
    ASSERT_TRUE(server.start());
    const SOCKET s = connectAndAsk(server);
    char buffer[4];
    ASSERT_EQ(recv(s, buffer, 1, 0), 1); // the rest now waits on this side
    EXPECT_EQ(closesocket(s), 0);
    EXPECT_EQ(recv(s, buffer, sizeof buffer, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    server.release();
}

TEST_F(WinsockReceive, TwoThreadsReceivingShareTheBytesWithoutLosingAny) {
    const std::string body = patternBody(kBodyBytes);
    ScriptedServer server;
    server.addReply(Reply().sendInPieces(body, 30000, qb::test::Millis(1)));
    ASSERT_TRUE(server.start());
    const SOCKET s = connectAndAsk(server);
    std::string parts[2];
    auto receiver = [s](std::string* into) {
        char buffer[128];
        int n = 0;
        while ((n = recv(s, buffer, sizeof buffer, 0)) > 0) into->append(buffer, size_t(n));
    };
    std::thread first(receiver, &parts[0]);
    std::thread second(receiver, &parts[1]);
    first.join();
    second.join();
    EXPECT_EQ(parts[0].size() + parts[1].size(), body.size());
    auto sum = [](const std::string& text) {
        return std::accumulate(text.begin(), text.end(), uint64_t{0},
                               [](uint64_t total, char c) { return total + uint8_t(c); });
    };
    EXPECT_EQ(sum(parts[0]) + sum(parts[1]), sum(body));
    EXPECT_EQ(closesocket(s), 0);
}

} // namespace
