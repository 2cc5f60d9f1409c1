#include "silent_tls_peer.h"

#include <chrono>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

constexpr int kPollMs = 50;
constexpr int kAcceptLimitMs = 10000;
constexpr time_t kHandshakeLimitSeconds = 10;

} // namespace

bool SilentTlsPeer::start(const qb::test::CertificateFiles& files) {
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    if (context == nullptr ||
        SSL_CTX_use_certificate_chain_file(context, files.certificate.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context, files.key.c_str(), SSL_FILETYPE_PEM) != 1) {
        SSL_CTX_free(context);
        error_ = "the certificate or key did not load";
        return false;
    }
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener_, 1) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        SSL_CTX_free(context);
        error_ = "cannot listen on 127.0.0.1";
        return false;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, context] {
        Serve(context);
        SSL_CTX_free(context);
    });
    return true;
}

void SilentTlsPeer::Serve(SSL_CTX* context) {
    int connection = -1;
    for (int waited = 0; connection < 0 && waited < kAcceptLimitMs && !stopping_;
         waited += kPollMs) {
        pollfd ready{listener_, POLLIN, 0};
        if (poll(&ready, 1, kPollMs) == 1) connection = accept4(listener_, nullptr, nullptr, 0);
    }
    if (connection < 0) return;
    const timeval limit{kHandshakeLimitSeconds, 0};
    setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    SSL* ssl = SSL_new(context);
    if (ssl != nullptr && SSL_set_fd(ssl, connection) == 1 && SSL_accept(ssl) == 1) {
        // Holds the connection as it is: what the client sends, its FIN included, stays
        // unread.
        while (!stopping_) std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    SSL_free(ssl);
    close(connection);
}

void SilentTlsPeer::stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) close(listener_);
    listener_ = -1;
}
