// A TLS peer that completes the handshake with one client and then neither reads, writes
// nor closes until the test stops it: a client's receive can only end by its own doing
// (a shutdown, a timeout). openssl s_server closes as soon as the client's side ends, which
// hides a shutdown that ends only the sending side.
#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "tests/support/test_certificates.h"

struct ssl_ctx_st;

class SilentTlsPeer {
public:
    SilentTlsPeer() = default;
    ~SilentTlsPeer() { stop(); }
    SilentTlsPeer(const SilentTlsPeer&) = delete;
    SilentTlsPeer& operator=(const SilentTlsPeer&) = delete;

    // Listens on 127.0.0.1 at a free port and serves the first connection on a thread.
    bool start(const qb::test::CertificateFiles& files);
    int port() const { return port_; }
    const std::string& error() const { return error_; }
    // Ends the connection (without a close_notify) and the thread.
    void stop();

private:
    void Serve(ssl_ctx_st* context);

    int listener_ = -1;
    int port_ = 0;
    std::string error_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};
