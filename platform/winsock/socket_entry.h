// The layer's record of one socket, shared by the files of socket_core (internal).
//
// The table of entries is what makes closing safe while another thread is inside a call on
// the same socket: every call holds the socket's entry for its length (Use), and closing
// takes the entry out of the table and only shuts the socket down (which wakes the blocked
// call) while a call still holds it; the last holder closes the descriptor. So the
// descriptor number cannot be reused under a running call, and a call on a SOCKET that was
// closed, or never came from this layer, fails with ENOTSOCK.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/winsock/secure_channel.h"
#include "platform/winsock/socket_core.h"

namespace qb::winsock {

// Bytes read from a stream socket ahead of its callers: [start, end) of bytes are unread.
struct ReceiveBuffer {
    std::mutex mutex;              // one receive at a time fills or takes from the buffer
    std::unique_ptr<char[]> bytes; // made at the first small receive
    size_t start = 0;
    size_t end = 0;
};

// What a socket carries. Changes only before the handshake (and to Encrypted or Broken by
// it); read with acquire, so a reader that sees Encrypted also sees the channel.
enum class Carriage : int {
    Plain,     // not secure
    Clear,     // secure, handshake deferred: clear bytes until PerformHandshake
    Awaiting,  // secure, handshake not yet run: nothing may be sent or received
    Encrypted, // secure, handshake done and accepted
    Broken,    // secure, handshake failed or refused
};

struct Entry {
    Entry(int descriptor, bool isStream) : fd(descriptor), stream(isStream) {}
    ~Entry();
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;

    const int fd;
    const bool stream;                    // byte stream: receives may be buffered
    std::atomic<bool> sendShut{false};    // shut for sending, or closed, by this process
    std::atomic<bool> shutLocally{false}; // any shutdown or the close, by this process
    std::atomic<bool> nonBlocking{false};
    std::atomic<uint32_t> receiveTimeoutMs{0};
    std::atomic<uint32_t> sendTimeoutMs{0};
    std::atomic<Carriage> carriage{Carriage::Plain};
    ReceiveBuffer receive;

    std::mutex stateMutex; // guards the members below
    bool connectStarted = false;
    bool connecting = false; // a non-blocking connect under way
    int pendingError = 0;    // of a finished non-blocking connect, for TakePendingError
    bool deferHandshake = false;
    CertificateHook hook;
    std::string peerName;
    std::unique_ptr<SecureChannel> channel; // made by the handshake; freed with the entry
};

// Holds a socket's entry for the length of one call.
class Use {
public:
    explicit Use(uint64_t socket) : entry_(Lookup(socket, &error_)) {}
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;

    Entry& entry() const { return *entry_; }
    int fd() const { return entry_->fd; }
    int error() const { return error_; }

private:
    static std::shared_ptr<Entry> Lookup(uint64_t socket, int* error);

    int error_ = 0; // before entry_, which Lookup fills
    std::shared_ptr<Entry> entry_;
};

inline Outcome Failure(int error) {
    return Outcome{-1, error};
}

// Waits until fd is ready for events (POLLIN/POLLOUT) or timeoutMs passes (0: forever).
// 0 when ready (or woken by a shutdown: the next call sees it), else ETIMEDOUT or errno.
int WaitForDescriptor(int fd, short events, uint32_t timeoutMs);

// The handshake of a connected secure socket, the hook's verdict included.
int RunHandshake(Entry& entry);

} // namespace qb::winsock
