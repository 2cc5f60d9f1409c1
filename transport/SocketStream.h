// SocketStream: the Stream over one TCP connection, plain or secure. It resolves a host name
// with getaddrinfo, races its addresses (IPv6 and IPv4 taking turns, as RFC 8305 says:
// Socket::Connect) until one connects, and exposes receiving and sending as the stream's read and
// write. Every operation blocks as long as the platform call does, within the timeout when one is
// set.
//
// A secure stream checks the server's certificate through the platform's secure sockets: the
// platform verifies the chain, the dates and the peer name, and this stream's hook accepts
// the certificate only when that check found nothing wrong. Nothing skips the check.
//
// One stream carries one connection: after Close it cannot connect again, so its owner
// destroys it and makes a new one for the next connection. Used in this order: construct,
// SetSecure (for https), Connect, PerformHandshake (a deferred secure stream, after the
// proxy's tunnel is open), Send, any number of reads, Close, destroy.
//
// Threads: Shutdown (and Close) may be called from another thread while a Connect, Receive,
// Send, Read or Write is blocked on this stream: the blocked call returns at once (a receive
// with count 0 or -1, a connect with -1 and no further address tried). The stream must not be
// destroyed until that call has returned; the owner makes sure of it (the HTTP client shuts
// down, waits for the reading thread, then destroys).
#pragma once

#include <atomic>
#include <cstdint>

#include <windows.h>
#include <winsock2.h>

#include "base/WString.h"
#include "transport/Socket.h"
#include "transport/Stream.h"

// Connect's results beyond 1 and -1.
constexpr int kSocketNameNotFound = -30;       // the resolver knows no address for the host
constexpr int kSocketCertificateRefused = -31; // the certificate check found a problem
constexpr int kSocketHandshakeFailed = -32;    // the secure handshake failed
constexpr int kSocketSecureUnsupported = -33;  // the platform has no secure sockets

class SocketStream final : public Stream {
public:
    // type: SOCK_STREAM. The socket itself is made by Connect, in the family of the address.
    explicit SocketStream(int type);
    // Close, then the counted clean-up of the socket library.
    ~SocketStream() = default;

    // From the next Connect on the connection is secure and its certificate must name
    // peerName (a host name, or an IP address without brackets). deferred: Connect makes the
    // TCP connection only, PerformHandshake runs the handshake later (a proxy's tunnel).
    // 1; -4 null name.
    int SetSecure(LPCWSTR peerName, bool deferred);
    // Bounds the connect, the handshake and every wait for bytes (Socket::SetTimeout); 0 waits
    // forever. Set before Connect.
    int SetTimeout(DWORD milliseconds);
    // Resolves host (UTF-16, converted to the default ANSI code page; an IPv6 literal without
    // brackets) and connects to port at the first of its addresses to answer, the families
    // taking turns from the resolver's first, a new one every kSocketNextAttemptDelayMs (the
    // timeout bounds the whole). A handshake that fails on the one that connected races the
    // others again without it. 1 connected; kSocketNameNotFound; -1 no address connected,
    // kSocketCertificateRefused or kSocketHandshakeFailed (a refused certificate ends the
    // attempts at once); -4 null host.
    int Connect(LPCWSTR host, WORD port);
    // Whether the resolver knows host. 1; kSocketNameNotFound; -4 null host.
    int Resolve(LPCWSTR host);
    // Runs the deferred handshake. 1; kSocketCertificateRefused; kSocketHandshakeFailed; -1 not
    // connected or not a deferred secure stream.
    int PerformHandshake();
    // The problems (SSL_CERT_FLAG_* bits) the platform's check reported for the last
    // certificate; 0 when none was seen or it had none.
    DWORD CertificateProblems() const { return certificateProblems_.load(); }

    // One send of length bytes. 1 and *sent (optional) = the bytes accepted; -1 failure or
    // not connected (*sent 0). A partial send is not retried.
    int Send(const void* data, DWORD length, DWORD* sent);
    // One receive of at most capacity bytes. 1 and *received (0 once the peer has closed);
    // -1 failure or not connected (*received 0); -4 null received.
    int Receive(void* buffer, DWORD capacity, DWORD* received);
    // Socket::MoveToFile with capacity *count; *count becomes the bytes moved.
    int MoveToFile(HANDLE file, DWORD* count);
    // Ends the connection in both directions but keeps the handle, so a call blocked on
    // another thread returns and nothing is released under it; no connection is made after.
    // 1; -1 not connected or refused. Safe from any thread while the stream exists.
    int Shutdown();

    // Name, size and seek are not supported: -1.
    int GetName(LPWSTR buffer, DWORD capacity) override;
    int GetSize(uint64_t* size) override;
    int Seek(const int64_t* offset, uint64_t* position, DWORD origin) override;
    // Receive with capacity *count; *count becomes the bytes received. -4 null count.
    int Read(void* buffer, DWORD* count) override;
    // Send of *count bytes; *count is left as passed in, whatever the platform accepted.
    // -4 null count.
    int Write(const void* data, DWORD* count) override;
    // -4 null record; else the shared accessor record (no check of the connection).
    int GetAccessor(StreamAccessor* record) override;
    // Shuts down and closes the socket (once). Always 1.
    int Close() override;

private:
    static int CALLBACK CheckCertificate(DWORD type, LPVOID self, DWORD chainLength, LPBLOB chain,
                                         DWORD problems);
    int SecureFailure(int error) const;

    Socket socket_;
    bool secure_ = false;
    bool deferred_ = false;
    WString peerName_;
    std::atomic<DWORD> certificateProblems_{0};
};
