// "openssl s_server" as a TLS peer for tests: on 127.0.0.1 or [::1] at a free port, with a
// certificate of TestCertificates, started and stopped by its process id. It answers each
// line it receives with the line reversed (-rev) and closes on a line "CLOSE".
#pragma once

#include <string>

#include "tests/support/process.h"
#include "tests/support/test_certificates.h"

namespace qb::test {

class OpenSslServer {
public:
    // Starts it and waits until it listens; false (with error()) when it could not. With
    // forLocalhost, a client that asks for "localhost" by SNI gets that certificate instead.
    bool start(const CertificateFiles& files, bool ipv6 = false,
               const CertificateFiles* forLocalhost = nullptr);
    int port() const { return port_; }
    const std::string& error() const { return error_; }
    void stop() { process_.stop(); }

private:
    ChildProcess process_;
    int port_ = 0;
    std::string error_;
};

} // namespace qb::test
