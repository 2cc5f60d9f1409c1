// Secure-socket contract: the device's calls in their order against a real TLS peer
// (openssl s_server on loopback) with certificates made at test time, the hook's arguments
// and verdict, the deferred handshake through a real proxy's tunnel, timeouts, and shutdown
// waking a blocked handshake or receive.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <openssl/x509.h>
#include <sslsock.h>
#include <ws2tcpip.h>

#include "silent_tls_peer.h"
#include "tests/support/bounded_task.h"
#include "tests/support/loopback.h"
#include "tests/support/openssl_server.h"
#include "tests/support/renegotiating_server.h"
#include "tests/support/test_certificates.h"
#include "tests/support/tinyproxy_server.h"

namespace {

using qb::test::CertificateFiles;
using qb::test::OpenSslServer;
using qb::test::TestCertificates;
using namespace std::chrono_literals;

constexpr WORD kVersion22 = 0x0202;
constexpr auto kWakeLimit = 1s;
constexpr DWORD kShortTimeoutMs = 300;

// What the hook saw, and what it answers.
struct HookRecord {
    int answer = SSL_ERR_OKAY;
    int calls = 0;
    DWORD type = 0, chainLength = 0, flags = 0;
    std::string subject; // the leaf's common name, read from the DER
};

int CALLBACK RecordingHook(DWORD dwType, LPVOID pvArg, DWORD dwChainLen, LPBLOB pCertChain,
                           DWORD dwFlags) {
    auto* record = static_cast<HookRecord*>(pvArg);
    ++record->calls;
    record->type = dwType;
    record->chainLength = dwChainLen;
    record->flags = dwFlags;
    const unsigned char* der = pCertChain->pBlobData;
    X509* leaf = d2i_X509(nullptr, &der, long(pCertChain->cbSize));
    if (leaf != nullptr) {
        char name[256] = {};
        X509_NAME_get_text_by_NID(X509_get_subject_name(leaf), NID_commonName, name, sizeof name);
        record->subject = name;
        X509_free(leaf);
    }
    return record->answer;
}

class WinsockSecure : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const TestCertificates& certificates = TestCertificates::shared();
        ASSERT_TRUE(certificates.made()) << certificates.error();
        // This process's trust store is the test CA alone.
        setenv("SSL_CERT_FILE", certificates.caFile().c_str(), 1);
        unsetenv("SSL_CERT_DIR");
    }
    void SetUp() override { ASSERT_EQ(WSAStartup(kVersion22, &data_), 0); }
    void TearDown() override { EXPECT_EQ(WSACleanup(), 0); }

    static const TestCertificates& certificates() { return TestCertificates::shared(); }

    static int Ioctl(SOCKET s, DWORD code, const void* in, DWORD size) {
        DWORD returned = 0;
        return WSAIoctl(s, code, const_cast<void*>(in), size, nullptr, 0, &returned, nullptr,
                        nullptr);
    }

    // A secure socket with the hook (when record is given) and the peer name (when given).
    static SOCKET SecureSocket(int family, HookRecord* record, const char* peerName,
                               bool defer = false) {
        const SOCKET s = socket(family, SOCK_STREAM, 0);
        EXPECT_NE(s, INVALID_SOCKET);
        const DWORD mode = SO_SEC_SSL;
        EXPECT_EQ(
            setsockopt(s, SOL_SOCKET, SO_SECURE, reinterpret_cast<const char*>(&mode), sizeof mode),
            0);
        if (record != nullptr) {
            const SSLVALIDATECERTHOOK hook = {RecordingHook, record};
            EXPECT_EQ(Ioctl(s, SO_SSL_SET_VALIDATE_CERT_HOOK, &hook, sizeof hook), 0);
        }
        if (peerName != nullptr) {
            EXPECT_EQ(Ioctl(s, SO_SSL_SET_PEERNAME, peerName, DWORD(strlen(peerName) + 1)), 0);
        }
        if (defer) {
            const DWORD flags = SSL_FLAG_DEFER_HANDSHAKE;
            EXPECT_EQ(Ioctl(s, SO_SSL_SET_FLAGS, &flags, sizeof flags), 0);
        }
        return s;
    }

    // connect to the loopback address of family at port: 0 or the WSA error.
    static int ConnectLoopback(SOCKET s, int family, int port) {
        sockaddr_in6 v6{};
        sockaddr_in v4{};
        const sockaddr* remote = reinterpret_cast<const sockaddr*>(&v4);
        int length = sizeof v4;
        if (family == AF_INET6) {
            v6.sin6_family = AF_INET6;
            v6.sin6_port = htons(u_short(port));
            v6.sin6_addr.s6_addr[15] = 1;
            remote = reinterpret_cast<const sockaddr*>(&v6);
            length = sizeof v6;
        } else {
            v4.sin_family = AF_INET;
            v4.sin_port = htons(u_short(port));
            v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        }
        return connect(s, remote, length) == 0 ? 0 : WSAGetLastError();
    }

    // One line through the server, which answers it reversed; read a byte at a time.
    static std::string Echo(SOCKET s, const std::string& line) {
        const std::string sent = line + "\n";
        EXPECT_EQ(send(s, sent.data(), int(sent.size()), 0), int(sent.size()));
        std::string answer;
        char byte = 0;
        while (answer.size() < sent.size() && recv(s, &byte, 1, 0) == 1) answer += byte;
        return answer;
    }

    WSADATA data_{};
};

TEST_F(WinsockSecure, TheHookSeesWhatTheCheckFoundAndDecides) {
    const TestCertificates& c = certificates();
    struct Case {
        const char* what;
        const CertificateFiles& files;
        int family;
        const char* peerName;
        int answer;
        DWORD flags;                                    // what the hook is told
        int error;                                      // of connect; 0 connected
        const CertificateFiles* forLocalhost = nullptr; // what SNI "localhost" gets instead
    };
    const Case cases[] = {
        {"trusted, DNS name", c.loopback(), AF_INET, "localhost", SSL_ERR_OKAY, 0, 0},
        {"trusted, IPv4 literal", c.loopback(), AF_INET, "127.0.0.1", SSL_ERR_OKAY, 0, 0},
        {"trusted, IPv6 literal", c.loopback(), AF_INET6, "[::1]", SSL_ERR_OKAY, 0, 0},
        {"another host", c.otherName(), AF_INET, "localhost", SSL_ERR_FAILED,
         SSL_CERT_FLAG_NAME_MISMATCH, WSAEACCES},
        {"another address", c.loopback(), AF_INET, "127.0.0.2", SSL_ERR_FAILED,
         SSL_CERT_FLAG_NAME_MISMATCH, WSAEACCES},
        {"expired", c.expired(), AF_INET, "localhost", SSL_ERR_CERT_EXPIRED, SSL_CERT_FLAG_EXPIRED,
         WSAEACCES},
        {"not yet valid", c.notYetValid(), AF_INET, "localhost", SSL_ERR_FAILED,
         SSL_CERT_FLAG_NOT_YET_VALID, WSAEACCES},
        {"unknown issuer", c.untrusted(), AF_INET, "localhost", SSL_ERR_CERT_UNKNOWN,
         SSL_CERT_FLAG_ISSUER_UNKNOWN, WSAEACCES},
        {"a good certificate refused", c.loopback(), AF_INET, "localhost", SSL_ERR_FAILED, 0,
         WSAEACCES},
        {"the hook's answer decides", c.expired(), AF_INET, "localhost", SSL_ERR_OKAY,
         SSL_CERT_FLAG_EXPIRED, 0},
        {"a DNS name goes as SNI", c.otherName(), AF_INET, "localhost", SSL_ERR_OKAY, 0, 0,
         &c.loopback()},
        {"an address does not", c.otherName(), AF_INET, "127.0.0.1", SSL_ERR_FAILED,
         SSL_CERT_FLAG_NAME_MISMATCH, WSAEACCES, &c.loopback()},
        // A host name is never taken from the subject's common name.
        {"a common name without subjectAltName", c.commonNameOnly(), AF_INET, "localhost",
         SSL_ERR_FAILED, SSL_CERT_FLAG_NAME_MISMATCH, WSAEACCES},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.what);
        OpenSslServer server;
        ASSERT_TRUE(server.start(t.files, t.family == AF_INET6, t.forLocalhost)) << server.error();
        HookRecord record;
        record.answer = t.answer;
        const SOCKET s = SecureSocket(t.family, &record, t.peerName);
        EXPECT_EQ(ConnectLoopback(s, t.family, server.port()), t.error);
        EXPECT_EQ(record.calls, 1);
        EXPECT_EQ(record.type, DWORD(SSL_CERT_X509));
        EXPECT_EQ(record.chainLength, 1u);
        EXPECT_EQ(record.flags, t.flags);
        EXPECT_FALSE(record.subject.empty()); // the leaf, as DER that parses
        if (t.error == 0) {
            EXPECT_EQ(Echo(s, "secret words"), "sdrow terces\n");
        } else {
            char byte = 0;
            EXPECT_EQ(recv(s, &byte, 1, 0), SOCKET_ERROR); // nothing passes a refused socket
        }
        EXPECT_EQ(closesocket(s), 0);
    }
}

TEST_F(WinsockSecure, WithoutAHookOnlyAFlawlessCertificatePasses) {
    const TestCertificates& c = certificates();
    const struct {
        const CertificateFiles& files;
        const char* peerName;
        int error;
    } cases[] = {
        {c.loopback(), "localhost", 0},
        {c.untrusted(), "localhost", WSAEACCES},
        {c.loopback(), nullptr, WSAEINVAL}, // no name to check against: never unchecked
    };
    for (const auto& t : cases) {
        OpenSslServer server;
        ASSERT_TRUE(server.start(t.files)) << server.error();
        const SOCKET s = SecureSocket(AF_INET, nullptr, t.peerName);
        EXPECT_EQ(ConnectLoopback(s, AF_INET, server.port()), t.error);
        EXPECT_EQ(closesocket(s), 0);
    }
}

// The certificate is judged after the first handshake only: a server that asks to
// renegotiate, to present another one (here an untrusted one), loses the connection.
TEST_F(WinsockSecure, ARenegotiationIsRefusedAndEndsTheConnection) {
    qb::test::RenegotiatingServer server;
    ASSERT_TRUE(server.start(certificates().loopback(), certificates().untrusted()))
        << server.error();
    HookRecord record;
    const SOCKET s = SecureSocket(AF_INET, &record, "localhost");
    ASSERT_EQ(ConnectLoopback(s, AF_INET, server.port()), 0);
    const DWORD timeoutMs = 5000;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
               sizeof timeoutMs);
    std::string answers;
    for (const char* line : {"hello\n", "more\n"}) {
        send(s, line, int(strlen(line)), 0);
        char byte = 0;
        while (recv(s, &byte, 1, 0) == 1) {
            answers += byte;
            if (byte == '\n') break;
        }
    }
    EXPECT_EQ(closesocket(s), 0);
    server.stop();
    EXPECT_FALSE(server.renegotiated());
    EXPECT_EQ(answers.find("done"), std::string::npos) << answers;
    EXPECT_EQ(record.calls, 1); // the hook judged the first certificate only
}

TEST_F(WinsockSecure, CallsOutOfOrderOrMalformedAreRefused) {
    OpenSslServer server;
    ASSERT_TRUE(server.start(certificates().loopback())) << server.error();
    HookRecord record;
    const SOCKET plain = socket(AF_INET, SOCK_STREAM, 0);
    const SOCKET fresh = SecureSocket(AF_INET, nullptr, nullptr);
    const SOCKET done = SecureSocket(AF_INET, &record, "localhost");
    ASSERT_EQ(ConnectLoopback(done, AF_INET, server.port()), 0);
    const SSLVALIDATECERTHOOK hook = {RecordingHook, &record};
    const DWORD defer = SSL_FLAG_DEFER_HANDSHAKE, unknownFlag = 0x40, mode = SO_SEC_SSL;
    const char unterminated[3] = {'a', 'b', 'c'};
    struct Case {
        const char* what;
        SOCKET s;
        DWORD code;
        const void* in;
        DWORD size;
        int error;
    };
    const Case cases[] = {
        {"hook on a plain socket", plain, SO_SSL_SET_VALIDATE_CERT_HOOK, &hook, sizeof hook,
         WSAEINVAL},
        {"peer name on a plain socket", plain, SO_SSL_SET_PEERNAME, "a", 2, WSAEINVAL},
        {"handshake on a plain socket", plain, SO_SSL_PERFORM_HANDSHAKE, nullptr, 0, WSAEINVAL},
        {"handshake before connect", fresh, SO_SSL_PERFORM_HANDSHAKE, nullptr, 0, WSAENOTCONN},
        {"hook too short", fresh, SO_SSL_SET_VALIDATE_CERT_HOOK, &hook, 4, WSAEFAULT},
        {"name without its end", fresh, SO_SSL_SET_PEERNAME, unterminated, 3, WSAEFAULT},
        {"empty name", fresh, SO_SSL_SET_PEERNAME, "", 1, WSAEINVAL},
        {"unknown flag", fresh, SO_SSL_SET_FLAGS, &unknownFlag, sizeof unknownFlag, WSAEINVAL},
        {"unknown code", fresh, _SO_SSL | 0x30, nullptr, 0, WSAEOPNOTSUPP},
        {"hook after the handshake", done, SO_SSL_SET_VALIDATE_CERT_HOOK, &hook, sizeof hook,
         WSAEISCONN},
        {"defer after the handshake", done, SO_SSL_SET_FLAGS, &defer, sizeof defer, WSAEISCONN},
        {"second handshake", done, SO_SSL_PERFORM_HANDSHAKE, nullptr, 0, WSAEISCONN},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.what);
        WSASetLastError(0);
        EXPECT_EQ(Ioctl(t.s, t.code, t.in, t.size), SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), t.error);
    }
    WSAOVERLAPPED overlapped{};
    DWORD returned = 0;
    EXPECT_EQ(WSAIoctl(fresh, SO_SSL_SET_FLAGS, const_cast<DWORD*>(&defer), sizeof defer, nullptr,
                       0, &returned, &overlapped, nullptr),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
    EXPECT_EQ(
        setsockopt(done, SOL_SOCKET, SO_SECURE, reinterpret_cast<const char*>(&mode), sizeof mode),
        SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEISCONN);
    EXPECT_EQ(Echo(done, "still fine"), "enif llits\n"); // refusals leave the socket alone
    for (const SOCKET s : {plain, fresh, done}) EXPECT_EQ(closesocket(s), 0);
}

TEST_F(WinsockSecure, DeferredHandshakeRunsInsideAProxyTunnel) {
    if (!qb::test::TinyproxyServer::available()) GTEST_SKIP() << "tinyproxy is not installed";
    OpenSslServer server;
    ASSERT_TRUE(server.start(certificates().loopback())) << server.error();
    qb::test::TinyproxyServer proxy({{"ConnectPort " + std::to_string(server.port())}});
    ASSERT_TRUE(proxy.start()) << proxy.error();

    HookRecord record;
    const SOCKET s = SecureSocket(AF_INET, &record, "localhost", /*defer=*/true);
    DWORD flags = 0, returned = 0;
    ASSERT_EQ(WSAIoctl(s, SO_SSL_GET_FLAGS, nullptr, 0, &flags, sizeof flags, &returned, nullptr,
                       nullptr),
              0);
    EXPECT_EQ(flags, DWORD(SSL_FLAG_DEFER_HANDSHAKE));
    ASSERT_EQ(ConnectLoopback(s, AF_INET, proxy.port()), 0);
    EXPECT_EQ(record.calls, 0); // no handshake yet: the CONNECT exchange goes in the clear
    const std::string request = "CONNECT 127.0.0.1:" + std::to_string(server.port()) +
                                " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(server.port()) +
                                "\r\n\r\n";
    ASSERT_EQ(send(s, request.data(), int(request.size()), 0), int(request.size()));
    std::string answer;
    char byte = 0;
    while (answer.find("\r\n\r\n") == std::string::npos && recv(s, &byte, 1, 0) == 1)
        answer += byte;
    ASSERT_EQ(answer.compare(0, 12, "HTTP/1.0 200"), 0) << answer;

    ASSERT_EQ(Ioctl(s, SO_SSL_PERFORM_HANDSHAKE, nullptr, 0), 0) << WSAGetLastError();
    EXPECT_EQ(record.calls, 1);
    EXPECT_EQ(record.flags, 0u);
    EXPECT_EQ(Echo(s, "through the tunnel"), "lennut eht hguorht\n");
    EXPECT_EQ(closesocket(s), 0);
}

// Neither peer ever closes its end, so only the local shutdown can end the wait: a listener
// that accepts nothing (the handshake gets no answer) and a TLS peer that goes silent after
// its handshake (openssl s_server would close once our sending side ends).
TEST_F(WinsockSecure, ShutdownWakesABlockedHandshakeOrReceive) {
    qb::test::SilentListener silent;
    ASSERT_TRUE(silent.start());
    for (const bool inHandshake : {true, false}) {
        SCOPED_TRACE(inHandshake ? "handshake" : "recv");
        SilentTlsPeer peer;
        ASSERT_TRUE(peer.start(certificates().loopback())) << peer.error();
        HookRecord record;
        const SOCKET s = SecureSocket(AF_INET, &record, "localhost");
        std::unique_ptr<qb::test::BoundedTask<int>> blocked;
        if (inHandshake) {
            const int port = silent.port();
            blocked = std::make_unique<qb::test::BoundedTask<int>>(
                [s, port] { return ConnectLoopback(s, AF_INET, port); });
        } else {
            ASSERT_EQ(ConnectLoopback(s, AF_INET, peer.port()), 0);
            blocked = std::make_unique<qb::test::BoundedTask<int>>([s] {
                char buffer[16];
                return recv(s, buffer, sizeof buffer, 0);
            });
        }
        EXPECT_FALSE(blocked->waitFor(200ms));
        EXPECT_EQ(shutdown(s, SD_BOTH), 0);
        ASSERT_TRUE(blocked->waitFor(kWakeLimit)) << "still blocked after the shutdown";
        EXPECT_EQ(blocked->get(), inHandshake ? WSAESHUTDOWN : 0);
        EXPECT_EQ(closesocket(s), 0);
    }
}

TEST_F(WinsockSecure, WaitsLongerThanTheTimeoutFail) {
    OpenSslServer server;
    ASSERT_TRUE(server.start(certificates().loopback())) << server.error();
    qb::test::SilentListener silent;
    ASSERT_TRUE(silent.start());
    for (const bool inHandshake : {true, false}) {
        SCOPED_TRACE(inHandshake ? "handshake" : "recv");
        HookRecord record;
        const SOCKET s = SecureSocket(AF_INET, &record, "localhost");
        const DWORD limit = kShortTimeoutMs;
        ASSERT_EQ(setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit),
                             sizeof limit),
                  0);
        const auto start = std::chrono::steady_clock::now();
        if (inHandshake) {
            EXPECT_EQ(ConnectLoopback(s, AF_INET, silent.port()), WSAETIMEDOUT);
        } else {
            ASSERT_EQ(ConnectLoopback(s, AF_INET, server.port()), 0);
            char buffer[16];
            EXPECT_EQ(recv(s, buffer, sizeof buffer, 0), SOCKET_ERROR);
            EXPECT_EQ(WSAGetLastError(), WSAETIMEDOUT);
        }
        EXPECT_GE(std::chrono::steady_clock::now() - start, 250ms);
        EXPECT_EQ(closesocket(s), 0);
    }
}

} // namespace
