// Receives on a stream socket: the bytes and their order whatever the receive sizes, the end
// and the errors only after what has arrived, closing while bytes are waiting, and two
// threads receiving from one socket. Direct moves into a file (qb/direct_move.h): the same
// bytes in the same order after what receives and the file's handle already hold, the cases
// that must take the buffer instead, and the waits a receive has.
#include <chrono>
#include <cstring>
#include <numeric>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <windows.h>
#include <winsock.h>

#include "qb/direct_move.h"
#include "sandbox.h"
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

namespace {

HANDLE createFile(const char16_t* name, DWORD access) {
    return CreateFileW(name, access, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The body reaches the file whole and in order: after the bytes a receive took (and while
// the socket layer holds some it read ahead, every move is refused), after what the file's
// handle held back, and each move within its capacity and one pipe's worth.
TEST_F(WinsockReceive, DirectMovesCarryTheBodyAfterWhatIsHeld) {
    const std::string body = patternBody(kBodyBytes);
    struct Case {
        const char* what;
        size_t receivedFirst; // bytes taken by a receive before the moves
        std::string written;  // written through the handle before the moves
        DWORD capacity;
    } cases[] = {
        {"moves only", 0, "", qb::kMovePieceBytes},
        {"small moves", 0, "", 1000},
        {"more than a pipe", 0, "", 4 * qb::kMovePieceBytes},
        {"a receive first", 7, "", qb::kMovePieceBytes},
        {"held-back writes first", 0, "prefix", qb::kMovePieceBytes},
        {"both", 128, "prefix", 3000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Sandbox sandbox;
        ScriptedServer server;
        server.addReply(Reply().sendInPieces(body, 50000, qb::test::Millis(1)));
        ASSERT_TRUE(server.start());
        const SOCKET s = connectAndAsk(server);
        const HANDLE file = createFile(u"moved", GENERIC_READ | GENERIC_WRITE);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file, c.written.data(), DWORD(c.written.size()), &written, nullptr));
        std::string expected = c.written;
        std::string first(c.receivedFirst, '\0');
        if (c.receivedFirst > 0) {
            ASSERT_EQ(recv(s, first.data(), int(first.size()), 0), int(first.size()));
            ASSERT_EQ(first, body.substr(0, first.size()));
        }
        std::string buffered(qb::kMovePieceBytes, '\0');
        size_t took = c.receivedFirst;
        size_t moves = 0;
        for (;;) {
            DWORD moved = 12345;
            const int result = qb::MoveSocketToFile(s, file, c.capacity, &moved);
            if (result == qb::kMoveUnavailable) {
                EXPECT_EQ(moved, 0u);
                // Bytes held back in the layer: a receive takes them, into the file by hand.
                const int n = recv(s, buffered.data(), int(buffered.size()), 0);
                ASSERT_GT(n, 0);
                ASSERT_TRUE(WriteFile(file, buffered.data(), DWORD(n), &written, nullptr));
                took += size_t(n);
                continue;
            }
            ASSERT_EQ(result, 1);
            ASSERT_LE(moved, std::min(c.capacity, qb::kMovePieceBytes));
            if (moved == 0) break;
            took += moved;
            ++moves;
        }
        EXPECT_EQ(took, body.size());
        EXPECT_GT(moves, 0u);
        EXPECT_TRUE(CloseHandle(file));
        EXPECT_EQ(closesocket(s), 0);
        expected += body.substr(c.receivedFirst);
        const std::string got = sandbox.readFile("moved");
        EXPECT_EQ(got.size(), expected.size());
        EXPECT_TRUE(got.substr(c.written.size()) == expected.substr(c.written.size()));
        // What the first receive took is the caller's: the file has the rest after the prefix.
        EXPECT_EQ(got.substr(0, c.written.size()), c.written);
    }
}

// A handle that can't take spliced bytes (read only, none) leaves every byte to the
// receive; a closed socket fails as a receive does.
TEST_F(WinsockReceive, DirectMovesRefuseWhatTheyCannotServe) {
    Sandbox sandbox;
    ScriptedServer server;
    server.addReply(Reply().send("abcdef"));
    ASSERT_TRUE(server.start());
    const SOCKET s = connectAndAsk(server);
    const HANDLE readOnly = createFile(u"refused", GENERIC_READ);
    ASSERT_NE(readOnly, INVALID_HANDLE_VALUE);
    for (const HANDLE file : {readOnly, INVALID_HANDLE_VALUE}) {
        DWORD moved = 1;
        EXPECT_EQ(qb::MoveSocketToFile(s, file, qb::kMovePieceBytes, &moved), qb::kMoveUnavailable);
        EXPECT_EQ(moved, 0u);
    }
    CloseHandle(readOnly);
    char bytes[8] = {};
    EXPECT_EQ(recv(s, bytes, sizeof bytes, 0), 6); // nothing was taken by the refusals
    EXPECT_EQ(closesocket(s), 0);
    const HANDLE file = createFile(u"closed", GENERIC_WRITE);
    DWORD moved = 1;
    EXPECT_EQ(qb::MoveSocketToFile(s, file, 100, &moved), -1);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    CloseHandle(file);
}

// A move waits as a receive does: until the socket's receive timeout, or until another
// thread shuts the socket down.
TEST_F(WinsockReceive, DirectMovesWaitWithinTheTimeoutAndWakeOnShutdown) {
    using Clock = std::chrono::steady_clock;
    Sandbox sandbox;
    for (const bool byShutdown : {false, true}) {
        SCOPED_TRACE(byShutdown ? "shutdown" : "timeout");
        ScriptedServer server;
        server.addReply(Reply().stall(qb::test::Millis(3000)));
        ASSERT_TRUE(server.start());
        const SOCKET s = connectAndAsk(server);
        const DWORD timeoutMs = byShutdown ? 0 : 200;
        ASSERT_EQ(setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
                             sizeof timeoutMs),
                  0);
        const HANDLE file = createFile(u"waited", GENERIC_WRITE);
        std::thread stopper;
        if (byShutdown) {
            stopper = std::thread([s] {
                Sleep(200);
                shutdown(s, SD_BOTH);
            });
        }
        const auto start = Clock::now();
        DWORD moved = 1;
        const int result = qb::MoveSocketToFile(s, file, qb::kMovePieceBytes, &moved);
        const auto waited =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        if (stopper.joinable()) stopper.join();
        EXPECT_EQ(moved, 0u);
        if (byShutdown) {
            EXPECT_EQ(result, 1); // the end, as a receive after our own shutdown sees it
        } else {
            EXPECT_EQ(result, -1);
            EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
        }
        EXPECT_GE(waited, 150);
        EXPECT_LT(waited, 2500);
        CloseHandle(file);
        EXPECT_EQ(closesocket(s), 0);
    }
}

} // namespace
