#include "tests/support/renegotiating_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <openssl/err.h>
#include <openssl/ssl.h>

namespace qb::test {
namespace {

constexpr int kWaitMs = 5000;

// Reads up to a line feed; false when the connection ended or failed first.
bool ReadLine(SSL* ssl, std::string* line) {
    line->clear();
    char byte = 0;
    while (SSL_read(ssl, &byte, 1) == 1) {
        *line += byte;
        if (byte == '\n') return true;
    }
    return false;
}

bool WriteText(SSL* ssl, const char* text) {
    const int length = int(std::char_traits<char>::length(text));
    return SSL_write(ssl, text, length) == length;
}

bool UseCertificate(SSL* ssl, const CertificateFiles& files) {
    return SSL_use_certificate_chain_file(ssl, files.certificate.c_str()) == 1 &&
           SSL_use_PrivateKey_file(ssl, files.key.c_str(), SSL_FILETYPE_PEM) == 1;
}

} // namespace

bool RenegotiatingServer::start(const CertificateFiles& first, const CertificateFiles& later) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener_, 1) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        error_ = "cannot listen on 127.0.0.1";
        return false;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread(&RenegotiatingServer::serve, this, first, later);
    return true;
}

void RenegotiatingServer::stop() {
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) close(listener_);
    listener_ = -1;
}

void RenegotiatingServer::serve(CertificateFiles first, CertificateFiles later) {
    pollfd waiting{listener_, POLLIN, 0};
    if (poll(&waiting, 1, kWaitMs) != 1) return;
    const int fd = accept(listener_, nullptr, nullptr);
    if (fd < 0) return;
    timeval limit{kWaitMs / 1000, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    SSL_CTX* context = SSL_CTX_new(TLS_server_method());
    // Renegotiation is a TLS 1.2 matter: 1.3 has none.
    SSL* ssl = nullptr;
    if (context != nullptr && SSL_CTX_set_max_proto_version(context, TLS1_2_VERSION) == 1) {
        ssl = SSL_new(context);
    }
    std::string line;
    if (ssl != nullptr && UseCertificate(ssl, first) && SSL_set_fd(ssl, fd) == 1 &&
        SSL_accept(ssl) == 1 && ReadLine(ssl, &line) && UseCertificate(ssl, later) &&
        SSL_renegotiate(ssl) == 1 && SSL_do_handshake(ssl) == 1 && WriteText(ssl, "reply\n") &&
        ReadLine(ssl, &line)) {
        // The client's second line came after it answered the request: a second handshake.
        renegotiated_.store(SSL_renegotiate_pending(ssl) == 0);
        WriteText(ssl, "done\n");
        SSL_shutdown(ssl);
    }
    ERR_clear_error();
    SSL_free(ssl);
    SSL_CTX_free(context);
    close(fd);
}

} // namespace qb::test
