// The BSD-socket side of the Winsock layer, in plain types so that it can be called from
// code that sees only the Windows headers. Failures carry an errno value, or one of the
// layer's own codes below; wsa_errors.h turns them into WSA codes.
//
// Every descriptor is non-blocking underneath; a socket in blocking mode (the default)
// waits in poll, bounded by its timeouts, so that shutdown from another thread wakes
// every wait, including a connect and a TLS handshake.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qb::winsock {

// Errors of the layer itself (errno values are positive).
inline constexpr int kErrNotInitialised = -1;
inline constexpr int kErrCertificateRefused = -2; // the hook (or, without one, the check)
inline constexpr int kErrHandshakeFailed = -3;
inline constexpr int kErrNotDirect = -4; // SpliceToPipe: this socket's bytes need a receive

// A stream socket reads up to this much from the system (or from TLS) at once and hands it
// to its callers' receives from memory: a caller asking for a few bytes at a time then costs
// one system call per block instead of one per receive. Plain receives of at least this size
// go to the system directly.
inline constexpr size_t kReceiveBufferBytes = 64 * 1024;

// A call's outcome: value on success (error 0), otherwise error.
struct Outcome {
    long value = 0;
    int error = 0;
};

// Start-up count of WSAStartup/WSACleanup. Cleanup returns false when nothing was started;
// the cleanup that ends the last start-up closes every socket still open.
void Startup();
bool Cleanup();
bool Initialised();

// family 4 or 6; type and protocol are the POSIX (equal to the Windows) numbers, checked.
Outcome CreateSocket(int family, int type, int protocol);

// A remote address: family 4 (address: 4 bytes) or 6 (16 bytes), in network byte order.
struct Remote {
    int family = 4;
    uint8_t address[16] = {};
    uint16_t port = 0; // network byte order
    uint32_t flowInfo = 0;
    uint32_t scopeId = 0;
};

// In blocking mode: the connection, then (on a secure socket not deferred) the handshake.
// In non-blocking mode: EAGAIN while the connection is under way (see Wait).
Outcome Connect(uint64_t socket, const Remote& remote);
// Sends the whole block unless an error intervenes; the value is the bytes sent.
Outcome SendAll(uint64_t socket, const char* data, size_t length);
// Up to capacity bytes: what the socket's buffer holds, else one receive from the system
// (or TLS). 0 only at the orderly end (or for capacity 0); an error only once the buffered
// bytes are taken.
Outcome Receive(uint64_t socket, char* buffer, size_t capacity, bool peek);
// Up to capacity bytes of a plain stream socket moved into the pipe's writing end pipeIn
// (empty), waiting as Receive does; value: the bytes moved, 0 at the orderly end.
// kErrNotDirect, with nothing moved, for a secure or datagram socket, while the socket's
// buffer holds bytes (a Receive takes them first), or where the system can't splice it.
Outcome SpliceToPipe(uint64_t socket, int pipeIn, size_t capacity);
// how: 0 receive, 1 send, 2 both.
Outcome ShutdownSocket(uint64_t socket, int how);
Outcome CloseSocket(uint64_t socket);

// Options. Timeouts in milliseconds, 0 waiting forever.
enum class Direction { Receive, Send };
Outcome SetTimeout(uint64_t socket, Direction direction, uint32_t milliseconds);
Outcome GetTimeout(uint64_t socket, Direction direction); // value: the milliseconds
Outcome SetNonBlocking(uint64_t socket, bool nonBlocking);
// The pending error of a finished non-blocking connect (value; 0 if none), then cleared.
Outcome TakePendingError(uint64_t socket);

// select: one socket's interest and, after Wait, its readiness.
struct Watch {
    uint64_t socket = 0;
    bool read = false, write = false, except = false;        // asked
    bool readable = false, writable = false, failed = false; // found
};
// Waits until one watched socket is ready or timeoutMs (-1: forever) passes; value: how
// many sockets are ready. A non-blocking connect is writable once connected and failed once
// refused (its error kept for TakePendingError); a readable socket has bytes or its end.
Outcome Wait(Watch* watches, size_t count, int timeoutMs);

// Secure sockets. The hook: called once per handshake with the leaf certificate (DER) and
// the Problem bits (secure_channel.h); non-zero accepts. context is the socket's hook data.
struct CertificateHook {
    bool (*judge)(const CertificateHook& hook, const uint8_t* der, size_t length,
                  uint32_t problems) = nullptr;
    void (*function)() = nullptr; // the caller's own hook, for judge
    void* argument = nullptr;
};
Outcome MakeSecure(uint64_t socket);                          // before connect
Outcome SetSecureFlags(uint64_t socket, bool deferHandshake); // before the handshake
Outcome GetSecureFlags(uint64_t socket);                      // value: 1 when deferred
Outcome SetCertificateHook(uint64_t socket, const CertificateHook& hook);
Outcome SetPeerName(uint64_t socket, const char* name); // at most kMaxPeerNameLength
// The deferred (or not yet run) handshake of a connected secure socket in blocking mode.
Outcome PerformHandshake(uint64_t socket);

} // namespace qb::winsock
