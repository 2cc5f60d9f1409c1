// TLS over OpenSSL 3: one client context for the process, one SSL object per channel.
#include "platform/winsock/secure_channel.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include <arpa/inet.h>
#include <cerrno>
#include <sys/socket.h>

#include <dlfcn.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace qb::winsock {
namespace {

// OpenSSL is loaded at the first secure socket, not with the program: linked, its two
// libraries cost every run 1.7 MB of memory (their relocations alone), https or not. The
// calls below are the only ones made; each name here stands for the library's function in
// this file, the ones OpenSSL's macros expand to included.
// One call a line: the formatter folds a macro list differently on every run.
// clang-format off
#define QB_OPENSSL_CALLS(X) \
    X(BIO_clear_flags) \
    X(BIO_get_data) \
    X(BIO_get_new_index) \
    X(BIO_meth_new) \
    X(BIO_meth_set_ctrl) \
    X(BIO_meth_set_read) \
    X(BIO_meth_set_write) \
    X(BIO_new) \
    X(BIO_set_data) \
    X(BIO_set_flags) \
    X(BIO_set_init) \
    X(ERR_clear_error) \
    X(SSL_CTX_ctrl) \
    X(SSL_CTX_free) \
    X(SSL_CTX_new) \
    X(SSL_CTX_set_default_read_buffer_len) \
    X(SSL_CTX_set_default_verify_paths) \
    X(SSL_CTX_set_options) \
    X(SSL_CTX_set_verify) \
    X(SSL_CTX_up_ref) \
    X(SSL_connect) \
    X(SSL_ctrl) \
    X(SSL_free) \
    X(SSL_get0_param) \
    X(SSL_get0_peer_certificate) \
    X(SSL_get_error) \
    X(SSL_get_ex_data) \
    X(SSL_get_ex_data_X509_STORE_CTX_idx) \
    X(SSL_get_verify_result) \
    X(SSL_has_pending) \
    X(SSL_new) \
    X(SSL_read_ex) \
    X(SSL_set_bio) \
    X(SSL_set_connect_state) \
    X(SSL_set_ex_data) \
    X(SSL_write_ex) \
    X(TLS_client_method) \
    X(X509_STORE_CTX_get_error) \
    X(X509_STORE_CTX_get_ex_data) \
    X(X509_VERIFY_PARAM_set1_host) \
    X(X509_VERIFY_PARAM_set1_ip_asc) \
    X(X509_VERIFY_PARAM_set_hostflags) \
    X(i2d_X509)
// clang-format on

#define QB_OPENSSL_POINTER(name) decltype(&::name) name = nullptr;
QB_OPENSSL_CALLS(QB_OPENSSL_POINTER)
#undef QB_OPENSSL_POINTER

// libssl and the libcrypto it brings, once per process; false when they are missing or
// lack a call (every secure socket then fails to open).
bool LoadOpenSsl() {
    static const bool loaded = [] {
        void* library = dlopen("libssl.so.3", RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) return false;
        bool found = true;
#define QB_OPENSSL_FIND(name)                                                                      \
    name = reinterpret_cast<decltype(name)>(dlsym(library, #name));                                \
    found = found && name != nullptr;
        QB_OPENSSL_CALLS(QB_OPENSSL_FIND)
#undef QB_OPENSSL_FIND
        return found; // the library stays loaded: its calls are used until the exit
    }();
    return loaded;
}

// Decrypted records are read ahead in blocks this large: one system call fetches several.
constexpr long kReadAheadBytes = 64 * 1024;

// The client context, made again when the trust store's environment changed (tests point
// SSL_CERT_FILE at their own CA): the default paths are read when a context is made.
struct ContextCache {
    std::mutex mutex;
    SSL_CTX* context = nullptr;
    std::string certFile, certDir;
};

ContextCache& Cache() {
    static ContextCache& instance = *new ContextCache; // never destroyed: used until exit
    return instance;
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

uint32_t ProblemFor(int verifyError) {
    switch (verifyError) {
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
        return kProblemIssuerUnknown;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return kProblemNameMismatch;
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return kProblemExpired;
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return kProblemNotYetValid;
    default:
        return kProblemOther;
    }
}

// The context for this moment's environment, with one reference for the caller.
SSL_CTX* ClientContext(int (*onVerify)(int, X509_STORE_CTX*)) {
    ContextCache& cache = Cache();
    std::lock_guard lock(cache.mutex);
    const std::string certFile = Environment("SSL_CERT_FILE");
    const std::string certDir = Environment("SSL_CERT_DIR");
    if (cache.context == nullptr || certFile != cache.certFile || certDir != cache.certDir) {
        SSL_CTX* made = SSL_CTX_new(TLS_client_method());
        if (made == nullptr) return nullptr;
        if (SSL_CTX_set_min_proto_version(made, TLS1_2_VERSION) != 1 ||
            SSL_CTX_set_default_verify_paths(made) != 1) {
            SSL_CTX_free(made);
            return nullptr;
        }
        SSL_CTX_set_verify(made, SSL_VERIFY_PEER, onVerify);
        // The certificate is judged once, after the first handshake: a server may not present
        // another one later. Its request to renegotiate is refused, which ends the connection.
        SSL_CTX_set_options(made, SSL_OP_NO_RENEGOTIATION);
        SSL_CTX_set_read_ahead(made, 1);
        SSL_CTX_set_default_read_buffer_len(made, kReadAheadBytes);
        SSL_CTX_set_mode(made, SSL_MODE_AUTO_RETRY);
        SSL_CTX_free(cache.context); // the SSL objects made from it keep their references
        cache.context = made;
        cache.certFile = certFile;
        cache.certDir = certDir;
    }
    SSL_CTX_up_ref(cache.context);
    return cache.context;
}

// The descriptor's reads and writes for OpenSSL: its own socket BIO writes without
// MSG_NOSIGNAL, and a write to a connection shut down under it would raise SIGPIPE.
int DescriptorOf(BIO* bio) {
    return int(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
}

int WriteToDescriptor(BIO* bio, const char* data, int length) {
    BIO_clear_retry_flags(bio);
    const ssize_t n = ::send(DescriptorOf(bio), data, size_t(length), MSG_NOSIGNAL);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) BIO_set_retry_write(bio);
    return int(n);
}

int ReadFromDescriptor(BIO* bio, char* buffer, int capacity) {
    BIO_clear_retry_flags(bio);
    const ssize_t n = ::recv(DescriptorOf(bio), buffer, size_t(capacity), 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) BIO_set_retry_read(bio);
    return int(n);
}

long ControlDescriptor(BIO*, int command, long, void*) {
    return command == BIO_CTRL_FLUSH ? 1 : 0; // nothing is held back: writes go straight out
}

BIO_METHOD* DescriptorMethod() {
    static BIO_METHOD* const method = [] {
        BIO_METHOD* made =
            BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "winsock descriptor");
        if (made != nullptr) {
            BIO_meth_set_write(made, WriteToDescriptor);
            BIO_meth_set_read(made, ReadFromDescriptor);
            BIO_meth_set_ctrl(made, ControlDescriptor);
        }
        return made;
    }();
    return method;
}

bool IsAddressLiteral(const char* name) {
    unsigned char bytes[16];
    return inet_pton(AF_INET, name, bytes) == 1 || inet_pton(AF_INET6, name, bytes) == 1;
}

} // namespace

std::unique_ptr<SecureChannel> SecureChannel::Open(int fd, const char* peerName) {
    if (peerName == nullptr || std::strlen(peerName) > kMaxPeerNameLength) return nullptr;
    if (!LoadOpenSsl()) return nullptr;
    SSL_CTX* context = ClientContext(&SecureChannel::OnVerify);
    if (context == nullptr) return nullptr;
    SSL* ssl = SSL_new(context);
    SSL_CTX_free(context); // the SSL object holds its own reference
    if (ssl == nullptr) return nullptr;
    std::unique_ptr<SecureChannel> channel(new SecureChannel(ssl));
    X509_VERIFY_PARAM* check = SSL_get0_param(ssl);
    // A name is taken from the subjectAltName only, never from the subject's common name
    // (a certificate without the extension names no host), as the CA/Browser Forum requires.
    X509_VERIFY_PARAM_set_hostflags(check, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS |
                                               X509_CHECK_FLAG_NEVER_CHECK_SUBJECT);
    const bool literal = IsAddressLiteral(peerName);
    const bool named = literal ? X509_VERIFY_PARAM_set1_ip_asc(check, peerName) == 1
                               : X509_VERIFY_PARAM_set1_host(check, peerName, 0) == 1 &&
                                     SSL_set_tlsext_host_name(ssl, peerName) == 1;
    BIO_METHOD* method = DescriptorMethod();
    BIO* bio = named && method != nullptr ? BIO_new(method) : nullptr;
    if (bio == nullptr) return nullptr;
    BIO_set_data(bio, reinterpret_cast<void*>(intptr_t(fd)));
    BIO_set_init(bio, 1);
    SSL_set_bio(ssl, bio, bio); // the SSL object owns it now
    SSL_set_app_data(ssl, channel.get());
    SSL_set_connect_state(ssl);
    return channel;
}

SecureChannel::~SecureChannel() {
    SSL_free(ssl_);
}

int SecureChannel::OnVerify(int preverified, X509_STORE_CTX* store) {
    if (preverified == 0) {
        auto* ssl = static_cast<SSL*>(
            X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
        auto* channel = static_cast<SecureChannel*>(SSL_get_app_data(ssl));
        channel->problems_ |= ProblemFor(X509_STORE_CTX_get_error(store));
    }
    return 1; // go on: the socket's hook judges what was found
}

StepResult SecureChannel::Finish(int result, size_t bytes) {
    if (result > 0) return StepResult{Step::Done, bytes};
    const int error = SSL_get_error(ssl_, result);
    StepResult outcome;
    switch (error) {
    case SSL_ERROR_WANT_READ:
        outcome.step = Step::WantRead;
        break;
    case SSL_ERROR_WANT_WRITE:
        outcome.step = Step::WantWrite;
        break;
    case SSL_ERROR_ZERO_RETURN:
        outcome.step = Step::Closed;
        break;
    default:
        // SSL_ERROR_SSL carries an unexpected end of the stream, or the peer's alert.
        outcome.peerAbort = error == SSL_ERROR_SYSCALL || error == SSL_ERROR_SSL;
        break;
    }
    ERR_clear_error(); // the thread's error queue stays empty for the next call
    return outcome;
}

StepResult SecureChannel::Handshake() {
    std::lock_guard lock(mutex_);
    ERR_clear_error();
    return Finish(SSL_connect(ssl_), 0);
}

StepResult SecureChannel::Read(char* buffer, size_t capacity) {
    std::lock_guard lock(mutex_);
    ERR_clear_error();
    size_t read = 0;
    const int result = SSL_read_ex(ssl_, buffer, capacity, &read);
    return Finish(result, read);
}

StepResult SecureChannel::Write(const char* data, size_t length) {
    std::lock_guard lock(mutex_);
    ERR_clear_error();
    size_t written = 0;
    const int result = SSL_write_ex(ssl_, data, length, &written);
    return Finish(result, written);
}

bool SecureChannel::HasPending() {
    std::lock_guard lock(mutex_);
    return SSL_has_pending(ssl_) == 1;
}

void SecureChannel::PeerCertificate(std::vector<uint8_t>& der, uint32_t& problems) {
    std::lock_guard lock(mutex_);
    problems = problems_;
    // Whatever the callback did not see (it sees every failure) still counts.
    const long verdict = SSL_get_verify_result(ssl_);
    if (verdict != X509_V_OK) problems |= ProblemFor(int(verdict));
    der.clear();
    X509* leaf = SSL_get0_peer_certificate(ssl_);
    if (leaf == nullptr) {
        problems |= kProblemOther;
        return;
    }
    const int length = i2d_X509(leaf, nullptr);
    if (length <= 0) {
        problems |= kProblemOther;
        return;
    }
    der.resize(size_t(length));
    unsigned char* out = der.data();
    i2d_X509(leaf, &out);
}

} // namespace qb::winsock
