// The BSD-socket side of the Winsock layer, in plain types so that it can be called from
// code that sees only <winsock.h>. Failures carry an errno value, or one of the layer's
// own codes below; wsa_errors.h turns them into WSA codes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qb::winsock {

// Errors of the layer itself (errno values are positive).
inline constexpr int kErrNotInitialised = -1;

// A stream socket reads up to this much from the system at once and hands it to its
// callers' receives from memory: a caller asking for a few bytes at a time then costs one
// system call per block instead of one per receive. Receives of at least this size go to
// the system directly.
inline constexpr size_t kReceiveBufferBytes = 64 * 1024;

// A call's outcome: value on success (error 0), otherwise error.
struct Outcome {
    long value = 0;
    int error = 0;
};

// Start-up count of WSAStartup/WSACleanup. cleanup returns false when nothing was started;
// the cleanup that ends the last start-up closes every socket still open.
void startup();
bool cleanup();
bool initialised();

// family and type are the POSIX (equal to the Windows) numbers, already checked.
Outcome createSocket(int family, int type, int protocol);
// address and port in network byte order.
Outcome connectIPv4(uint64_t socket, uint32_t address, uint16_t port);
// Sends the whole block unless an error intervenes; the value is the bytes sent.
Outcome sendAll(uint64_t socket, const char* data, size_t length);
// Up to capacity bytes: what the socket's buffer holds, else one system receive. 0 only at
// the orderly end (or for capacity 0); an error only once the buffered bytes are taken.
Outcome receive(uint64_t socket, char* buffer, size_t capacity, bool peek);
// how: 0 receive, 1 send, 2 both.
Outcome shutdownSocket(uint64_t socket, int how);
Outcome closeSocket(uint64_t socket);

} // namespace qb::winsock
