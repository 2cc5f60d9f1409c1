// Winsock contract: start-up, connections to scripted loopback servers, waking blocked calls
// from another thread, peers that close or reset, name resolution and bad arguments.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <sslsock.h>
#include <winsock.h>
#include <ws2tcpip.h>

#include "tests/support/bounded_task.h"
#include "tests/support/loopback.h"
#include "tests/support/scripted_server.h"

namespace {

using qb::test::Reply;
using qb::test::ScriptedServer;
using namespace std::chrono_literals;

constexpr WORD kVersion11 = 0x0101;
constexpr const char kRequest[] = "GET / HTTP/1.0\nHost: 127.0.0.1\n\n";
constexpr auto kWakeLimit = 1s;
constexpr DWORD kShortTimeoutMs = 300;

int SetTimeout(SOCKET s, int option, DWORD value, int level = SOL_SOCKET) {
    return setsockopt(s, level, option, reinterpret_cast<const char*>(&value), sizeof value);
}

int Ioctl(SOCKET s, DWORD code) {
    DWORD returned = 0;
    return WSAIoctl(s, code, nullptr, 0, nullptr, 0, &returned, nullptr, nullptr);
}

// An address as text: dotted IPv4, or IPv6 as eight hexadecimal groups.
std::string AddressText(const sockaddr* address) {
    char text[64] = {};
    if (address->sa_family == AF_INET) {
        const auto* b = reinterpret_cast<const u_char*>(
            &reinterpret_cast<const sockaddr_in*>(address)->sin_addr);
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    } else {
        const u_char* b = reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr.s6_addr;
        std::snprintf(text, sizeof text, "%x:%x:%x:%x:%x:%x:%x:%x", b[0] << 8 | b[1],
                      b[2] << 8 | b[3], b[4] << 8 | b[5], b[6] << 8 | b[7], b[8] << 8 | b[9],
                      b[10] << 8 | b[11], b[12] << 8 | b[13], b[14] << 8 | b[15]);
    }
    return text;
}

class Winsock : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(WSAStartup(kVersion11, &data), 0); }
    void TearDown() override { EXPECT_EQ(WSACleanup(), 0); }

    // A socket connected to 127.0.0.1:port.
    SOCKET connectTo(int port) {
        const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
        EXPECT_NE(s, INVALID_SOCKET);
        sockaddr_in remote{};
        remote.sin_family = AF_INET;
        remote.sin_port = htons(u_short(port));
        remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(connect(s, reinterpret_cast<const sockaddr*>(&remote), sizeof remote), 0)
            << WSAGetLastError();
        return s;
    }

    // A socket in non-blocking mode whose connect to 127.0.0.1:port is under way (or done).
    static SOCKET startConnect(int port) {
        const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
        ULONG on = 1;
        EXPECT_EQ(ioctlsocket(s, FIONBIO, &on), 0);
        sockaddr_in remote{};
        remote.sin_family = AF_INET;
        remote.sin_port = htons(u_short(port));
        remote.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(s, reinterpret_cast<const sockaddr*>(&remote), sizeof remote) != 0) {
            EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
        }
        return s;
    }

    static void sendRequest(SOCKET s) {
        ASSERT_EQ(send(s, kRequest, int(sizeof kRequest - 1), 0), int(sizeof kRequest - 1));
    }

    // recv until the peer closes; SOCKET_ERROR ends it too.
    static std::string receiveAll(SOCKET s) {
        std::string all;
        char buffer[128];
        for (;;) {
            const int n = recv(s, buffer, sizeof buffer, 0);
            if (n <= 0) return all;
            all.append(buffer, size_t(n));
        }
    }

    WSADATA data{};
};

TEST(WinsockStartup, GrantsVersion11AndCountsStartups) {
    WSADATA data{};
    ASSERT_EQ(WSAStartup(0x0202, &data), 0);
    EXPECT_EQ(data.wVersion, kVersion11);
    EXPECT_EQ(data.wHighVersion, kVersion11);
    EXPECT_GT(std::strlen(data.szDescription), 0u);
    ASSERT_EQ(WSAStartup(kVersion11, &data), 0);
    EXPECT_EQ(data.wVersion, kVersion11);
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_EQ(WSACleanup(), 0);

    EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    EXPECT_EQ(WSAStartup(0x0000, &data), WSAVERNOTSUPPORTED);
    EXPECT_EQ(WSAStartup(kVersion11, nullptr), WSAEFAULT);
}

TEST(WinsockStartup, CallsOutsideAStartupFail) {
    WSASetLastError(0);
    EXPECT_EQ(socket(AF_INET, SOCK_STREAM, 0), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    WSASetLastError(0);
    EXPECT_EQ(gethostbyname("localhost"), nullptr);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    char byte = 0;
    EXPECT_EQ(recv(3, &byte, 1, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    EXPECT_EQ(htons(0x1234), u_short(0x3412)); // byte order needs no start-up
}

TEST_F(Winsock, ExchangesBytesAndSeesThePeerCloseRepeatedly) {
    const std::string answer = "HTTP/1.0 200 OK\nContent-Length: 4\n\nbody";
    ScriptedServer server;
    server.addReply(Reply().send(answer));
    ASSERT_TRUE(server.start());

    const SOCKET s = connectTo(server.port());
    sendRequest(s);
    EXPECT_EQ(receiveAll(s), answer);
    char buffer[16];
    for (int i = 0; i < 3; ++i) EXPECT_EQ(recv(s, buffer, sizeof buffer, 0), 0);
    EXPECT_EQ(closesocket(s), 0);
    ASSERT_TRUE(server.waitForRequests(1));
    EXPECT_EQ(server.request(0), kRequest);
}

// The peer never closes its end (a listener that accepts nothing): only the local shutdown
// can end the recv. A peer that answered the FIN of a half shutdown would hide a shutdown
// that ends the sending side alone.
TEST_F(Winsock, ShutdownOrCloseFromAnotherThreadWakesABlockedRecv) {
    for (const bool useClose : {false, true}) {
        SCOPED_TRACE(useClose ? "closesocket" : "shutdown");
        qb::test::SilentListener peer;
        ASSERT_TRUE(peer.start());
        const SOCKET s = connectTo(peer.port());
        sendRequest(s);

        qb::test::BoundedTask<int> received([s] {
            char buffer[128];
            return recv(s, buffer, sizeof buffer, 0);
        });
        EXPECT_FALSE(received.waitFor(100ms));
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(useClose ? closesocket(s) : shutdown(s, SD_BOTH), 0);
        ASSERT_TRUE(received.waitFor(kWakeLimit)) << "the recv still blocks";
        EXPECT_LT(std::chrono::steady_clock::now() - start, kWakeLimit);
        EXPECT_EQ(received.get(), 0);

        // A closed socket is gone for every later call.
        if (!useClose) {
            EXPECT_EQ(closesocket(s), 0);
        }
        char byte = 0;
        EXPECT_EQ(recv(s, &byte, 1, 0), SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
        EXPECT_EQ(closesocket(s), SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    }
}

// The thread that used a socket last keeps it for its next call; a close on another
// thread still ends the socket for it, and its next socket works as any other.
TEST_F(Winsock, ASocketClosedOnAnotherThreadIsGoneForTheThreadThatUsedIt) {
    ScriptedServer server;
    server.addReply(Reply().stall(5s));
    server.addReply(Reply().send("HTTP/1.0 200 OK\r\n\r\nsecond"));
    ASSERT_TRUE(server.start());
    const SOCKET first = connectTo(server.port());
    sendRequest(first);
    ASSERT_TRUE(server.waitForStalls(1));
    int closed = SOCKET_ERROR;
    std::thread([&] { closed = closesocket(first); }).join();
    EXPECT_EQ(closed, 0);
    char byte = 0;
    EXPECT_EQ(recv(first, &byte, 1, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);

    const SOCKET second = connectTo(server.port());
    sendRequest(second);
    EXPECT_NE(receiveAll(second).find("second"), std::string::npos);
    EXPECT_EQ(closesocket(second), 0);
}

TEST_F(Winsock, ShutdownWakesASendBlockedOnAPeerThatNeverReads) {
    qb::test::SilentListener peer;
    ASSERT_TRUE(peer.start());
    const SOCKET s = connectTo(peer.port());
    qb::test::BoundedTask<int> sent([s] {
        const std::string block(1 << 16, 'x');
        for (int i = 0; i < 4096; ++i) { // far beyond what the socket buffers hold
            if (send(s, block.data(), int(block.size()), 0) == SOCKET_ERROR) {
                return WSAGetLastError();
            }
        }
        return 0;
    });
    ASSERT_FALSE(sent.waitFor(300ms));
    EXPECT_EQ(shutdown(s, SD_BOTH), 0);
    ASSERT_TRUE(sent.waitFor(kWakeLimit)) << "the send still blocks";
    EXPECT_EQ(sent.get(), WSAESHUTDOWN);
    EXPECT_EQ(closesocket(s), 0);
}

TEST_F(Winsock, SendToAResetPeerFailsWithoutKillingTheProcess) {
    ScriptedServer server;
    server.addReply(Reply().reset());
    ASSERT_TRUE(server.start());
    const SOCKET s = connectTo(server.port());
    sendRequest(s);
    ASSERT_TRUE(server.waitForFinished(1));

    char buffer[16];
    EXPECT_EQ(recv(s, buffer, sizeof buffer, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
    // Linux raises SIGPIPE for a send on a reset connection unless it is told not to.
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(send(s, "more", 4, 0), SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
    }
    EXPECT_EQ(closesocket(s), 0);
}

TEST_F(Winsock, ConnectToAClosedPortIsRefused) {
    const int port = qb::test::pickFreePort();
    ASSERT_NE(port, 0);
    const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(u_short(port));
    remote.sin_addr.s_addr = inet_addr("127.0.0.1");
    EXPECT_EQ(connect(s, reinterpret_cast<const sockaddr*>(&remote), sizeof remote), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNREFUSED);
    EXPECT_EQ(closesocket(s), 0);
}

TEST_F(Winsock, ResolvesLoopbackNamesAndRefusesOthersLocally) {
    struct Case {
        const char* name;
        const char* canonical; // null: the lookup fails
        int error;
    };
    const Case cases[] = {
        {"localhost", "localhost", 0},
        {"LocalHost.", "LocalHost.", 0},
        {"files.localhost", "files.localhost", 0},
        {"127.0.0.1", "127.0.0.1", 0},
        {"nothing.invalid", nullptr, WSAHOST_NOT_FOUND},
        {"INVALID", nullptr, WSAHOST_NOT_FOUND},
        {"", nullptr, WSAHOST_NOT_FOUND},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WSASetLastError(0);
        const hostent* entry = gethostbyname(c.name);
        if (c.canonical == nullptr) {
            EXPECT_EQ(entry, nullptr);
            EXPECT_EQ(WSAGetLastError(), c.error);
            continue;
        }
        ASSERT_NE(entry, nullptr) << WSAGetLastError();
        EXPECT_STREQ(entry->h_name, c.canonical);
        EXPECT_EQ(entry->h_addrtype, AF_INET);
        EXPECT_EQ(entry->h_length, 4);
        ASSERT_NE(entry->h_addr_list[0], nullptr);
        const auto* bytes = reinterpret_cast<const unsigned char*>(entry->h_addr);
        EXPECT_EQ(bytes[0], 127);
        EXPECT_EQ(bytes[1], 0);
        EXPECT_EQ(bytes[2], 0);
        EXPECT_EQ(bytes[3], 1);
        EXPECT_EQ(entry->h_addr_list[1], nullptr);
        ASSERT_NE(entry->h_aliases, nullptr);
        EXPECT_EQ(entry->h_aliases[0], nullptr);
    }
    EXPECT_EQ(gethostbyname(std::string(300, 'a').c_str()), nullptr);
    EXPECT_EQ(WSAGetLastError(), WSAHOST_NOT_FOUND);
}

TEST_F(Winsock, GetaddrinfoAnswersBothFamiliesInOrder) {
    struct Case {
        const char* name;
        const char* service;
        int family, flags, socktype;
        const char* addresses; // the list, in order; null: the lookup fails
        int error;
    };
    const Case cases[] = {
        {"localhost", "80", AF_UNSPEC, 0, SOCK_STREAM, "0:0:0:0:0:0:0:1 127.0.0.1", 0},
        {"LocalHost.", nullptr, AF_INET, 0, 0, "127.0.0.1", 0},
        {"files.localhost", nullptr, AF_INET6, 0, 0, "0:0:0:0:0:0:0:1", 0},
        {"::1", "8443", AF_UNSPEC, AI_NUMERICHOST, 0, "0:0:0:0:0:0:0:1", 0},
        {"127.1", nullptr, AF_UNSPEC, 0, 0, "127.0.0.1", 0},
        {"127.0.0.1", nullptr, AF_INET6, 0, 0, nullptr, EAI_NONAME},
        {"files.localhost", nullptr, AF_UNSPEC, AI_NUMERICHOST, 0, nullptr, EAI_NONAME},
        {"nothing.invalid", nullptr, AF_UNSPEC, 0, 0, nullptr, EAI_NONAME},
        {"", nullptr, AF_UNSPEC, 0, 0, nullptr, EAI_NONAME},
        {"localhost", "http", AF_UNSPEC, 0, 0, nullptr, EAI_SERVICE},
        {"localhost", "65536", AF_UNSPEC, 0, 0, nullptr, EAI_SERVICE},
        {"localhost", nullptr, 99, 0, 0, nullptr, EAI_FAMILY},
        {"localhost", nullptr, AF_UNSPEC, 0x1000, 0, nullptr, EAI_BADFLAGS},
        {"localhost", nullptr, AF_UNSPEC, 0, 99, nullptr, EAI_SOCKTYPE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        addrinfo hints{};
        hints.ai_family = c.family;
        hints.ai_flags = c.flags | AI_CANONNAME;
        hints.ai_socktype = c.socktype;
        addrinfo* list = nullptr;
        const int result = getaddrinfo(c.name, c.service, &hints, &list);
        if (c.addresses == nullptr) {
            EXPECT_EQ(result, c.error);
            EXPECT_EQ(WSAGetLastError(), c.error);
            EXPECT_EQ(list, nullptr);
            continue;
        }
        ASSERT_EQ(result, 0);
        ASSERT_NE(list, nullptr);
        EXPECT_STREQ(list->ai_canonname, c.name);
        std::string found;
        for (const addrinfo* a = list; a != nullptr; a = a->ai_next) {
            found += (found.empty() ? "" : " ") + AddressText(a->ai_addr);
            EXPECT_EQ(a->ai_socktype, c.socktype);
            EXPECT_EQ(a->ai_addrlen,
                      a->ai_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in));
            const u_short port = reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_port;
            EXPECT_EQ(ntohs(port), c.service != nullptr ? std::atoi(c.service) : 0);
        }
        EXPECT_EQ(found, c.addresses);
        freeaddrinfo(list);
    }
}

// The client's loop: each address in the resolver's order until one connects. The server
// listens on 127.0.0.1 only, so ::1 is refused first.
TEST_F(Winsock, ANameWithBothFamiliesConnectsWhereOneListens) {
    ScriptedServer server;
    server.addReply(qb::test::okReply("both"));
    ASSERT_TRUE(server.start());
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    ASSERT_EQ(getaddrinfo("localhost", std::to_string(server.port()).c_str(), &hints, &list), 0);
    std::vector<int> errors;
    SOCKET connected = INVALID_SOCKET;
    for (const addrinfo* a = list; a != nullptr && connected == INVALID_SOCKET; a = a->ai_next) {
        const SOCKET s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        ASSERT_NE(s, INVALID_SOCKET);
        if (connect(s, a->ai_addr, int(a->ai_addrlen)) == 0) {
            connected = s;
        } else {
            errors.push_back(WSAGetLastError());
            EXPECT_EQ(closesocket(s), 0);
        }
    }
    freeaddrinfo(list);
    EXPECT_EQ(errors, std::vector<int>{WSAECONNREFUSED});
    ASSERT_NE(connected, INVALID_SOCKET);
    sendRequest(connected);
    EXPECT_NE(receiveAll(connected).find("both"), std::string::npos);
    EXPECT_EQ(closesocket(connected), 0);
}

TEST_F(Winsock, WaitsLongerThanTheTimeoutFailAndShutdownStillWakes) {
    ScriptedServer server;
    server.addReply(Reply().stall(5s));
    server.addReply(Reply().stall(5s));
    ASSERT_TRUE(server.start());
    qb::test::SilentListener silent; // never reads: a sender's buffers fill up
    ASSERT_TRUE(silent.start());
    for (const bool sending : {false, true}) {
        SCOPED_TRACE(sending ? "send" : "recv");
        const SOCKET s = connectTo(sending ? silent.port() : server.port());
        const int option = sending ? SO_SNDTIMEO : SO_RCVTIMEO;
        ASSERT_EQ(SetTimeout(s, option, kShortTimeoutMs), 0);
        DWORD value = 0;
        int length = sizeof value;
        EXPECT_EQ(getsockopt(s, SOL_SOCKET, option, reinterpret_cast<char*>(&value), &length), 0);
        EXPECT_EQ(value, kShortTimeoutMs);
        if (!sending) sendRequest(s);
        const std::string block(1 << 20, 'x');
        const auto start = std::chrono::steady_clock::now();
        int result = 0;
        char buffer[128];
        do {
            result = sending ? send(s, block.data(), int(block.size()), 0)
                             : recv(s, buffer, sizeof buffer, 0);
        } while (sending && result > 0);
        EXPECT_EQ(result, SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
        EXPECT_GE(std::chrono::steady_clock::now() - start, 250ms);
        EXPECT_EQ(closesocket(s), 0);
    }
}

// A bounded connect, the Win32 way: non-blocking connect, then select on its outcome.
TEST_F(Winsock, SelectTellsHowANonBlockingConnectEnded) {
    ScriptedServer server;
    server.addReply(qb::test::okReply("selected"));
    ASSERT_TRUE(server.start());
    const int closedPort = qb::test::pickFreePort();
    qb::test::SilentListener full; // its queue fills: later connections stay under way
    ASSERT_TRUE(full.start());
    std::vector<SOCKET> fillers;
    for (int i = 0; i < 16; ++i) fillers.push_back(startConnect(full.port()));

    enum Target { Listening, Closed, Full, FullShutDown };
    const struct {
        const char* what;
        Target target;
        int ready; // select's result
        bool writable, failed;
        int error; // SO_ERROR afterwards
    } cases[] = {
        {"connects", Listening, 1, true, false, 0},
        {"refused", Closed, 1, false, true, WSAECONNREFUSED},
        {"times out", Full, 0, false, false, 0},
        {"shut down while waiting", FullShutDown, 1, false, true, WSAESHUTDOWN},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const int port = c.target == Listening ? server.port()
                         : c.target == Closed  ? closedPort
                                               : full.port();
        const SOCKET s = startConnect(port);
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_SET(s, &writable);
        FD_ZERO(&failed);
        FD_SET(s, &failed);
        timeval limit = {0, int(kShortTimeoutMs) * 1000};
        std::thread stopper;
        if (c.target == FullShutDown) {
            limit.tv_sec = 5;
            stopper = std::thread([s] {
                std::this_thread::sleep_for(100ms);
                shutdown(s, SD_BOTH);
            });
        }
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(select(0, nullptr, &writable, &failed, &limit), c.ready);
        if (stopper.joinable()) stopper.join();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
        EXPECT_EQ(FD_ISSET(s, &writable) != 0, c.writable);
        EXPECT_EQ(FD_ISSET(s, &failed) != 0, c.failed);
        int error = -1;
        int length = sizeof error;
        EXPECT_EQ(getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length), 0);
        EXPECT_EQ(error, c.error);
        if (c.writable) {
            ULONG off = 0;
            ASSERT_EQ(ioctlsocket(s, FIONBIO, &off), 0);
            sendRequest(s);
            EXPECT_NE(receiveAll(s).find("selected"), std::string::npos);
        }
        EXPECT_EQ(closesocket(s), 0);
    }
    for (const SOCKET s : fillers) EXPECT_EQ(closesocket(s), 0);
}

TEST_F(Winsock, HostEntryBelongsToTheCallingThread) {
    const hostent* mine = gethostbyname("localhost");
    ASSERT_NE(mine, nullptr);
    std::thread([] {
        EXPECT_EQ(gethostbyname("nothing.invalid"), nullptr);
        EXPECT_NE(gethostbyname("127.0.0.1"), nullptr);
    }).join();
    EXPECT_STREQ(mine->h_name, "localhost");
    const hostent* again = gethostbyname("127.0.0.1");
    EXPECT_EQ(again, mine); // the thread's one entry, replaced by its next call
    EXPECT_STREQ(again->h_name, "127.0.0.1");
}

TEST_F(Winsock, RefusesBadArguments) {
    const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_NE(s, INVALID_SOCKET);
    struct Case {
        const char* call;
        int (*run)(SOCKET);
        int error;
    };
    const Case cases[] = {
        {"connect null", [](SOCKET x) { return connect(x, nullptr, sizeof(sockaddr_in)); },
         WSAEFAULT},
        {"connect short",
         [](SOCKET x) {
             sockaddr_in remote{};
             remote.sin_family = AF_INET;
             return connect(x, reinterpret_cast<const sockaddr*>(&remote), 8);
         },
         WSAEFAULT},
        {"connect family",
         [](SOCKET x) {
             sockaddr_in remote{};
             return connect(x, reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
         },
         WSAEAFNOSUPPORT},
        {"send null", [](SOCKET x) { return send(x, nullptr, 4, 0); }, WSAEFAULT},
        {"send negative", [](SOCKET x) { return send(x, "a", -1, 0); }, WSAEFAULT},
        {"send flags", [](SOCKET x) { return send(x, "a", 1, 0x40); }, WSAEOPNOTSUPP},
        {"recv null", [](SOCKET x) { return recv(x, nullptr, 4, 0); }, WSAEFAULT},
        {"shutdown how", [](SOCKET x) { return shutdown(x, 3); }, WSAEINVAL},
        {"shutdown unconnected", [](SOCKET x) { return shutdown(x, SD_BOTH); }, WSAENOTCONN},
        {"send invalid", [](SOCKET) { return send(INVALID_SOCKET, "a", 1, 0); }, WSAENOTSOCK},
        {"recv not a socket of ours",
         [](SOCKET) {
             char byte = 0;
             return recv(0, &byte, 1, 0);
         },
         WSAENOTSOCK},
        {"closesocket invalid", [](SOCKET) { return closesocket(INVALID_SOCKET); }, WSAENOTSOCK},
        {"connect IPv6 short",
         [](SOCKET x) {
             sockaddr_in6 remote{};
             remote.sin6_family = AF_INET6;
             return connect(x, reinterpret_cast<const sockaddr*>(&remote), sizeof(sockaddr_in));
         },
         WSAEFAULT},
        {"setsockopt level", [](SOCKET x) { return SetTimeout(x, SO_RCVTIMEO, 1, IPPROTO_TCP); },
         WSAENOPROTOOPT},
        {"setsockopt option", [](SOCKET x) { return SetTimeout(x, 0x1001, 1); }, WSAENOPROTOOPT},
        {"setsockopt short",
         [](SOCKET x) { return setsockopt(x, SOL_SOCKET, SO_RCVTIMEO, "ab", 2); }, WSAEFAULT},
        {"setsockopt secure mode",
         [](SOCKET x) { return SetTimeout(x, SO_SECURE, SO_SEC_SSL + 1); }, WSAEINVAL},
        {"getsockopt short",
         [](SOCKET x) {
             char value[2];
             int length = sizeof value;
             return getsockopt(x, SOL_SOCKET, SO_RCVTIMEO, value, &length);
         },
         WSAEFAULT},
        {"ioctlsocket command",
         [](SOCKET x) {
             ULONG value = 0;
             return ioctlsocket(x, 0x4004667f, &value);
         },
         WSAEINVAL},
        {"ioctlsocket null", [](SOCKET x) { return ioctlsocket(x, FIONBIO, nullptr); }, WSAEFAULT},
        {"select nothing",
         [](SOCKET) {
             timeval limit = {0, 0};
             return select(0, nullptr, nullptr, nullptr, &limit);
         },
         WSAEINVAL},
        {"select not a socket of ours",
         [](SOCKET) {
             fd_set readable;
             FD_ZERO(&readable);
             FD_SET(0, &readable);
             timeval limit = {0, 0};
             return select(0, &readable, nullptr, nullptr, &limit);
         },
         WSAENOTSOCK},
        {"WSAIoctl plain code", [](SOCKET x) { return Ioctl(x, 0x4004667f); }, WSAEOPNOTSUPP},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        WSASetLastError(0);
        EXPECT_EQ(c.run(s), SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), c.error);
    }
    EXPECT_EQ(socket(AF_UNSPEC, SOCK_STREAM, 0), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAEAFNOSUPPORT);
    EXPECT_EQ(socket(AF_INET, 99, 0), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAESOCKTNOSUPPORT);
    EXPECT_EQ(gethostbyname(nullptr), nullptr);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    EXPECT_EQ(inet_addr(nullptr), INADDR_NONE);
    EXPECT_EQ(closesocket(s), 0);
}

TEST_F(Winsock, LastCleanupClosesTheSocketsLeftOpen) {
    const SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_NE(s, INVALID_SOCKET);
    ASSERT_EQ(WSACleanup(), 0);
    ASSERT_EQ(WSAStartup(kVersion11, &data), 0);
    EXPECT_EQ(closesocket(s), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
}

TEST(WinsockByteOrder, NetworkOrderIsBigEndian) {
    const ULONG net = htonl(0x01020304);
    const auto* bytes = reinterpret_cast<const unsigned char*>(&net);
    EXPECT_EQ(bytes[0], 1);
    EXPECT_EQ(bytes[3], 4);
    EXPECT_EQ(ntohl(net), 0x01020304u);
    const u_short port = htons(0x1f90);
    EXPECT_EQ(reinterpret_cast<const unsigned char*>(&port)[0], 0x1f);
    EXPECT_EQ(ntohs(port), 0x1f90);

    EXPECT_EQ(inet_addr("127.0.0.1"), htonl(0x7f000001));
    EXPECT_EQ(inet_addr("10.1.2.3"), htonl(0x0a010203));
    EXPECT_EQ(inet_addr("127.1"), htonl(0x7f000001));
    EXPECT_EQ(inet_addr("256.0.0.1"), INADDR_NONE);
    EXPECT_EQ(inet_addr("host"), INADDR_NONE);
    EXPECT_EQ(inet_addr(""), INADDR_NONE);
}

TEST(WinsockLayout, StructuresMatchWindows) {
    EXPECT_EQ(sizeof(sockaddr_in), 16u);
    EXPECT_EQ(offsetof(sockaddr_in, sin_port), 2u);
    EXPECT_EQ(offsetof(sockaddr_in, sin_addr), 4u);
    EXPECT_EQ(offsetof(sockaddr_in, sin_zero), 8u);
    EXPECT_EQ(sizeof(in_addr), 4u);
    EXPECT_EQ(sizeof(hostent::h_length), 2u);
    EXPECT_EQ(sizeof(SOCKET), sizeof(void*));
    EXPECT_GT(INVALID_SOCKET, SOCKET(0)); // unsigned, all bits set
    EXPECT_EQ(INVALID_SOCKET, ~SOCKET(0));
    EXPECT_EQ(sizeof(sockaddr_in6), 28u);
    EXPECT_EQ(offsetof(sockaddr_in6, sin6_addr), 8u);
    // Before ai_addr, unlike POSIX; after four ints and a size_t (20 on 32-bit Windows).
    EXPECT_EQ(offsetof(addrinfo, ai_canonname), 4 * sizeof(int) + sizeof(size_t));
    EXPECT_EQ(sizeof(SSLVALIDATECERTHOOK), 2 * sizeof(void*));
}

// The device's numbers: a program built for it passes these very values.
TEST(WinsockLayout, ControlCodesAndOptionsAreTheDevicesNumbers) {
    const struct {
        unsigned long actual, expected;
    } cases[] = {
        {SO_SSL_SET_VALIDATE_CERT_HOOK, 0x90730008},
        {SO_SSL_SET_PEERNAME, 0x9073000f},
        {SO_SSL_SET_FLAGS, 0x90730002},
        {SO_SSL_PERFORM_HANDSHAKE, 0x1073000d},
        {SO_SECURE, 0x2001},
        {SO_SEC_SSL, 0x2004},
        {SSL_FLAG_DEFER_HANDSHAKE, 0x8},
        {DWORD(FIONBIO), 0x8004667e},
        {SO_RCVTIMEO, 0x1006},
        {SO_SNDTIMEO, 0x1005},
        {AF_INET6, 23},
        {SOL_SOCKET, 0xffff},
    };
    for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected) << std::hex << c.expected;
}

} // namespace
