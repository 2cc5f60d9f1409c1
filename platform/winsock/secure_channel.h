// One TLS client connection over a connected, non-blocking descriptor, made with OpenSSL 3.
// Plain types only (see socket_core.h). Every OpenSSL call on a channel is made under the
// channel's own lock, so its SSL object is touched by one thread at a time; the caller does
// the waiting (poll) between calls, without the lock.
//
// OpenSSL does every check: the chain against the system's trust store (default paths,
// SSL_CERT_FILE and SSL_CERT_DIR honoured), the dates, the peer name (DNS name or IP
// address). Its findings are collected as Problem bits for the socket's hook to judge; the
// handshake itself is not stopped by them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

typedef struct ssl_st SSL;
typedef struct x509_store_ctx_st X509_STORE_CTX;

namespace qb::winsock {

inline constexpr size_t kMaxPeerNameLength = 255; // a DNS name, or an address literal

// What OpenSSL's check found; 0 when nothing.
enum Problem : uint32_t {
    kProblemIssuerUnknown = 0x1, // the chain ends at no trusted root
    kProblemNameMismatch = 0x2,  // the certificate names another host or address
    kProblemExpired = 0x4,
    kProblemNotYetValid = 0x8,
    kProblemOther = 0x10, // bad signature, wrong purpose, malformed, ...
};

enum class Step { Done, WantRead, WantWrite, Closed, Failed };

struct StepResult {
    Step step = Step::Failed;
    size_t bytes = 0;       // Done of Read or Write: the bytes moved
    bool peerAbort = false; // Failed: the peer closed without ending TLS, or sent an alert
};

class SecureChannel {
public:
    // A client for peerName over fd (not owned). Null when OpenSSL cannot make one.
    static std::unique_ptr<SecureChannel> Open(int fd, const char* peerName);
    ~SecureChannel();
    SecureChannel(const SecureChannel&) = delete;
    SecureChannel& operator=(const SecureChannel&) = delete;

    StepResult Handshake();
    StepResult Read(char* buffer, size_t capacity);
    StepResult Write(const char* data, size_t length);
    // True when TLS holds bytes already read from the system (a receive needs no wait).
    bool HasPending();

    // After a finished handshake: the leaf certificate as DER (empty when the server sent
    // none) and the Problem bits found.
    void PeerCertificate(std::vector<uint8_t>& der, uint32_t& problems);

private:
    explicit SecureChannel(SSL* ssl) : ssl_(ssl) {}
    StepResult Finish(int result, size_t bytes);
    static int OnVerify(int preverified, X509_STORE_CTX* store);

    std::mutex mutex_;
    SSL* const ssl_;
    uint32_t problems_ = 0; // written by OnVerify during Handshake, under mutex_
};

} // namespace qb::winsock
