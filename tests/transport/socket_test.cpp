// Socket and SocketStream against the scripted loopback server and a TLS peer: the
// connection's life, the addresses of a name raced, the certificate check, the
// Stream slots, the start-up count, and a shutdown from another thread waking a receive.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <stdlib.h>

#include <ws2tcpip.h>

#include "base/Results.h"
#include "tests/support/loopback.h"
#include "tests/support/openssl_server.h"
#include "tests/support/scripted_server.h"
#include "tests/support/test_certificates.h"
#include "transport/SocketStream.h"

namespace {

using namespace std::chrono_literals;
using qb::test::CertificateFiles;
using qb::test::OpenSslServer;
using qb::test::Reply;
using qb::test::ScriptedServer;
using Clock = std::chrono::steady_clock;

constexpr const char16_t* kLoopback = u"127.0.0.1";
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
    // "localhost" gives ::1 first, where nothing listens: the next address connects.
    ASSERT_EQ(stream.Connect(u"localhost", Port()), kResultOk);

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
    SocketStream neverCreated(kNoSuchSocketType);
    SocketStream shutDown(SOCK_STREAM);
    EXPECT_EQ(shutDown.Shutdown(), kResultFail); // no connection yet, but none is made after
    for (SocketStream* stream : {&closed, &neverCreated, &shutDown}) {
        EXPECT_EQ(stream->Connect(kLoopback, Port()), kResultFail);
        EXPECT_EQ(stream->Connect(nullptr, Port()), kResultNullArgument);
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

TEST(SocketNames, UnknownNamesAndRefusedAddressesFailWithTheirOwnResults) {
    SocketStream resolver(SOCK_STREAM);
    EXPECT_EQ(resolver.Resolve(u"no-such-host.invalid"), kSocketNameNotFound);
    EXPECT_EQ(resolver.Resolve(u"::1"), kResultOk);
    EXPECT_EQ(resolver.Resolve(nullptr), kResultNullArgument);
    // A name beyond ASCII is looked up in its ASCII form; one without any is not found.
    EXPECT_EQ(resolver.Resolve(u"\u4f8b\u3048.localhost"), kResultOk);
    EXPECT_EQ(resolver.Resolve(u"\u2603.localhost"), kSocketNameNotFound);
    EXPECT_EQ(resolver.Resolve(u"a\uff0fb.localhost"), kSocketNameNotFound);
    ScriptedServer closedPort; // a port that was just free: nothing listens there now
    ASSERT_TRUE(closedPort.start());
    const WORD port = static_cast<WORD>(closedPort.port());
    closedPort.stop();
    struct Case {
        const char16_t* host;
        int result;
    } cases[] = {
        {u"no-such-host.invalid", kSocketNameNotFound},
        {u"localhost", kResultFail}, // both addresses refused: the last one's failure
        {u"::1", kResultFail},
    };
    for (const Case& c : cases) {
        SocketStream stream(SOCK_STREAM);
        EXPECT_EQ(stream.Connect(c.host, port), c.result);
    }
}

// Both families of a name raced: [::1]:port swallows every SYN (a listener that never
// accepts, its backlog full), 127.0.0.1:port answers.
class SocketRace : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        ScriptedServer closed; // a port that was just free: nothing listens there now
        ASSERT_TRUE(closed.start());
        closedPort_ = closed.port();
        closed.stop();
        if (!swallowing.start(server.port())) {
            GTEST_SKIP() << "[::1]:" << server.port() << " cannot be made to swallow SYNs here";
        }
    }
    WORD Port() const { return static_cast<WORD>(server.port()); }

    // The platform's address of a literal at port, kept until the test ends.
    SocketAddress Address(const char* literal, int port) {
        addrinfo hints = {};
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const std::string service = std::to_string(port);
        EXPECT_EQ(getaddrinfo(literal, service.c_str(), &hints, &found), 0);
        found_.push_back(found);
        return {found->ai_addr, static_cast<int>(found->ai_addrlen)};
    }
    SocketAddress Swallowing() { return Address("::1", server.port()); }
    SocketAddress Answering() { return Address("127.0.0.1", server.port()); }
    SocketAddress Refusing(const char* literal) { return Address(literal, closedPort_); }

    void TearDown() override {
        for (addrinfo* found : found_) freeaddrinfo(found);
    }

    Socket library_{SOCK_STREAM}; // keeps the platform's socket library started
    ScriptedServer server;
    qb::test::SwallowingListener swallowing;
    int closedPort_ = 0;
    std::vector<addrinfo*> found_;
};

TEST_F(SocketRace, ANameOfBothFamiliesConnectsOverIpv4WhileIpv6SwallowsTheSyn) {
    // The premise: alone, [::1] takes the whole timeout.
    SocketStream alone(SOCK_STREAM);
    alone.SetTimeout(800);
    auto start = Clock::now();
    EXPECT_EQ(alone.Connect(u"::1", Port()), kResultFail);
    EXPECT_GE(Clock::now() - start, 700ms);

    server.addReply(Reply().send("HTTP/1.0 200 OK\n\nraced"));
    SocketStream stream(SOCK_STREAM);
    stream.SetTimeout(30000);
    start = Clock::now();
    ASSERT_EQ(stream.Connect(u"localhost", Port()), kResultOk); // ::1 first, then 127.0.0.1
    EXPECT_LT(Clock::now() - start, 5s);
    const std::string request = "GET / HTTP/1.0\n\n";
    ASSERT_EQ(stream.Send(request.data(), static_cast<DWORD>(request.size()), nullptr), kResultOk);
    EXPECT_EQ(ReceiveAll(stream), "HTTP/1.0 200 OK\n\nraced");
}

TEST_F(SocketRace, KeepsTheFirstToConnectAndReportsTheLastFailure) {
    struct Case {
        const char* what;
        std::vector<SocketAddress> addresses;
        DWORD timeoutMs;
        int result;
        size_t winner;
        int error;
    };
    const std::vector<Case> cases = {
        {"one address", {Answering()}, 30000, kResultOk, 0, 0},
        {"swallowed, then answered", {Swallowing(), Answering()}, 30000, kResultOk, 1, 0},
        {"swallowed twice, then answered",
         {Swallowing(), Swallowing(), Answering()},
         30000,
         kResultOk,
         2,
         0},
        {"refused moves on at once", {Refusing("127.0.0.1"), Answering()}, 0, kResultOk, 1, 0},
        {"all refused",
         {Refusing("::1"), Refusing("127.0.0.1")},
         30000,
         kResultFail,
         2,
         WSAECONNREFUSED},
        {"the timeout bounds the whole race",
         {Swallowing(), Swallowing()},
         900,
         kResultFail,
         2,
         WSAETIMEDOUT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Socket socket(SOCK_STREAM);
        socket.SetTimeout(c.timeoutMs);
        size_t winner = 99;
        int error = -1;
        const auto start = Clock::now();
        EXPECT_EQ(socket.Connect(c.addresses.data(), c.addresses.size(), nullptr, &winner, &error),
                  c.result);
        const auto took = Clock::now() - start;
        EXPECT_LT(took, 5s);
        EXPECT_EQ(winner, c.winner);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(socket.HasHandle(), c.result == kResultOk);
        if (c.error == WSAETIMEDOUT) {
            EXPECT_GE(took, 800ms);
        }
    }
    Socket socket(SOCK_STREAM);
    EXPECT_EQ(socket.Connect(nullptr, 1, nullptr, nullptr, nullptr), kResultNullArgument);
    const SocketAddress none = {nullptr, 0};
    EXPECT_EQ(socket.Connect(&none, 1, nullptr, nullptr, nullptr), kResultNullArgument);
    const SocketAddress one = Answering();
    EXPECT_EQ(socket.Connect(&one, 0, nullptr, nullptr, nullptr), kResultNullArgument);
}

TEST_F(SocketRace, ShutdownFromAnotherThreadEndsTheRaceAtOnce) {
    const std::vector<SocketAddress> addresses = {Swallowing(), Swallowing(), Swallowing()};
    Socket socket(SOCK_STREAM);
    socket.SetTimeout(30000);
    int error = 0;
    int result = 0;
    std::thread connecting([&] {
        result = socket.Connect(addresses.data(), addresses.size(), nullptr, nullptr, &error);
    });
    std::this_thread::sleep_for(400ms); // two attempts under way
    const auto start = Clock::now();
    EXPECT_EQ(socket.Shutdown(), kResultOk);
    connecting.join();
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_EQ(result, kResultFail);
    EXPECT_EQ(error, WSAESHUTDOWN);
    EXPECT_FALSE(socket.HasHandle());
    // Once shut down, no connection is made.
    const SocketAddress answering = Answering();
    EXPECT_EQ(socket.Connect(&answering, 1, nullptr, nullptr, &error), kResultFail);
    EXPECT_EQ(error, WSAESHUTDOWN);
}

// The certificate check through the platform's secure sockets: only a certificate with
// nothing wrong connects, and what was wrong is kept for the message.
class SecureSocketStream : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const auto& certificates = qb::test::TestCertificates::shared();
        ASSERT_TRUE(certificates.made()) << certificates.error();
        setenv("SSL_CERT_FILE", certificates.caFile().c_str(), 1);
        unsetenv("SSL_CERT_DIR");
    }
    static const qb::test::TestCertificates& Certificates() {
        return qb::test::TestCertificates::shared();
    }
};

TEST_F(SecureSocketStream, AcceptsOnlyACertificateWithNothingWrong) {
    struct Case {
        const char* what;
        const CertificateFiles& files;
        bool ipv6;
        const char16_t* host;
        int result;
        DWORD problems;
    } cases[] = {
        {"good, by name", Certificates().loopback(), false, u"localhost", kResultOk, 0},
        {"good, by IPv4 literal", Certificates().loopback(), false, u"127.0.0.1", kResultOk, 0},
        {"good, by IPv6 literal", Certificates().loopback(), true, u"::1", kResultOk, 0},
        {"another name", Certificates().otherName(), false, u"localhost", kSocketCertificateRefused,
         SSL_CERT_FLAG_NAME_MISMATCH},
        {"expired", Certificates().expired(), false, u"127.0.0.1", kSocketCertificateRefused,
         SSL_CERT_FLAG_EXPIRED},
        {"not yet valid", Certificates().notYetValid(), false, u"127.0.0.1",
         kSocketCertificateRefused, SSL_CERT_FLAG_NOT_YET_VALID},
        {"unknown issuer", Certificates().untrusted(), false, u"127.0.0.1",
         kSocketCertificateRefused, SSL_CERT_FLAG_ISSUER_UNKNOWN},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        OpenSslServer server;
        ASSERT_TRUE(server.start(c.files, c.ipv6)) << server.error();
        SocketStream stream(SOCK_STREAM);
        ASSERT_EQ(stream.SetSecure(c.host, false), kResultOk);
        EXPECT_EQ(stream.Connect(c.host, static_cast<WORD>(server.port())), c.result);
        EXPECT_EQ(stream.CertificateProblems() & c.problems, c.problems);
        if (c.result != kResultOk) continue;
        EXPECT_EQ(stream.CertificateProblems(), 0u);
        // Plain bytes both ways: the peer answers a line with the line reversed.
        DWORD sent = 0;
        ASSERT_EQ(stream.Send("abc\n", 4, &sent), kResultOk);
        std::string got;
        char buffer[8];
        while (got.find('\n') == std::string::npos) {
            DWORD count = 0;
            if (stream.Receive(buffer, sizeof buffer, &count) != kResultOk || count == 0) break;
            got.append(buffer, count);
        }
        EXPECT_EQ(got, "cba\n");
    }
}

// The race is of TCP connections only: the handshake runs on the one kept, within the same
// timeout, and checks the name given.
TEST_F(SecureSocketStream, TheHandshakeRunsOnTheAddressThatWonTheRace) {
    OpenSslServer server;
    ASSERT_TRUE(server.start(Certificates().loopback())) << server.error();
    qb::test::SwallowingListener swallowing;
    if (!swallowing.start(server.port())) {
        GTEST_SKIP() << "[::1]:" << server.port() << " cannot be made to swallow SYNs here";
    }
    SocketStream stream(SOCK_STREAM);
    stream.SetTimeout(30000);
    ASSERT_EQ(stream.SetSecure(u"localhost", false), kResultOk);
    const auto start = Clock::now();
    ASSERT_EQ(stream.Connect(u"localhost", static_cast<WORD>(server.port())), kResultOk);
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_EQ(stream.CertificateProblems(), 0u);
    DWORD sent = 0;
    ASSERT_EQ(stream.Send("xy\n", 3, &sent), kResultOk);
    char buffer[8] = {};
    DWORD count = 0;
    ASSERT_EQ(stream.Receive(buffer, sizeof buffer, &count), kResultOk);
    EXPECT_EQ(std::string(buffer, count).substr(0, 1), "y");
}

TEST_F(SecureSocketStream, APlainPeerFailsTheHandshakeAndADeferredOneWaitsForIt) {
    ScriptedServer plain;
    plain.addReply(Reply().answerAtOnce().send("HTTP/1.0 200 OK\n\nnot a handshake"));
    ASSERT_TRUE(plain.start());
    SocketStream stream(SOCK_STREAM);
    ASSERT_EQ(stream.SetSecure(u"127.0.0.1", false), kResultOk);
    EXPECT_EQ(stream.Connect(kLoopback, static_cast<WORD>(plain.port())), kSocketHandshakeFailed);
    EXPECT_EQ(stream.PerformHandshake(), kResultFail); // not a deferred stream

    OpenSslServer server;
    ASSERT_TRUE(server.start(Certificates().loopback())) << server.error();
    SocketStream deferred(SOCK_STREAM);
    ASSERT_EQ(deferred.SetSecure(u"localhost", true), kResultOk);
    ASSERT_EQ(deferred.Connect(u"127.0.0.1", static_cast<WORD>(server.port())), kResultOk);
    EXPECT_EQ(deferred.PerformHandshake(), kResultOk);
    DWORD sent = 0;
    EXPECT_EQ(deferred.Send("x\n", 2, &sent), kResultOk);
    EXPECT_EQ(sent, 2u);
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
                if (stream.Resolve(TEXT("localhost")) != kResultOk) ++failures;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(Socket::StartupCount(), before);
}

} // namespace
