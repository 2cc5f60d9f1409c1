// Socket and SocketStream against the scripted loopback server and a TLS peer: the
// connection's life, the addresses of a name tried in turn, the certificate check, the
// Stream slots, the start-up count, and a shutdown from another thread waking a receive.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <stdlib.h>

#include "base/Results.h"
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
