// A hostile TLS peer for tests: a TLS 1.2 server on 127.0.0.1 (a free port) for one
// connection, in a thread of the test process. After the handshake it reads a line, then asks
// the client to renegotiate (HelloRequest), now offering another certificate, answers
// "reply\n", reads a second line and answers "done\n". A client that refuses renegotiation
// ends the exchange before "done".
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "tests/support/test_certificates.h"

namespace qb::test {

class RenegotiatingServer {
public:
    RenegotiatingServer() = default;
    RenegotiatingServer(const RenegotiatingServer&) = delete;
    RenegotiatingServer& operator=(const RenegotiatingServer&) = delete;
    ~RenegotiatingServer() { stop(); }

    // Listens and starts the thread; false (with error()) when it could not.
    bool start(const CertificateFiles& first, const CertificateFiles& later);
    int port() const { return port_; }
    const std::string& error() const { return error_; }
    // Waits for the thread (at most the limits of its waits, 5 s each).
    void stop();
    // The second handshake was completed: the client took the later certificate.
    bool renegotiated() const { return renegotiated_.load(); }

private:
    void serve(CertificateFiles first, CertificateFiles later);

    int listener_ = -1;
    int port_ = 0;
    std::string error_;
    std::thread thread_;
    std::atomic<bool> renegotiated_{false};
};

} // namespace qb::test
