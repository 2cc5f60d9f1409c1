// Sockets over BSD descriptors, with a table of the sockets this layer created.
//
// The table is what makes closing safe while another thread is inside a call on the same
// socket: every call holds its entry in use, and closing only shuts the socket down (which
// wakes the blocked call) until the last user has left; then the descriptor is closed. So
// the descriptor number cannot be reused under a running call, and a call on a SOCKET that
// was closed, or never came from this layer, fails with ENOTSOCK.
#include "socket_core.h"

#include <cerrno>
#include <climits>
#include <mutex>
#include <unordered_map>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qb::winsock {
namespace {

struct Entry {
    int users = 0;        // calls running on the socket
    bool closing = false; // closesocket (or the last cleanup) has been called
    bool sendShut = false;
};

struct Table {
    std::mutex mutex;
    int startups = 0;
    std::unordered_map<int, Entry> sockets;
};

// Never destroyed: threads may still close sockets while the process exits.
Table& table() {
    static Table& instance = *new Table;
    return instance;
}

Outcome failure(int error) {
    return Outcome{-1, error};
}

// Marks an entry closing; closes the descriptor now when no call runs on it, else shuts it
// down so that the running calls return. Returns true when the entry may be erased.
bool beginClose(int fd, Entry& entry) {
    entry.closing = true;
    if (entry.users > 0) {
        ::shutdown(fd, SHUT_RDWR);
        return false;
    }
    ::close(fd);
    return true;
}

// Holds a socket's entry in use for the length of one call.
class Use {
public:
    explicit Use(uint64_t socket) {
        Table& t = table();
        std::lock_guard lock(t.mutex);
        if (t.startups == 0) {
            error_ = kErrNotInitialised;
            return;
        }
        if (socket > uint64_t(INT_MAX)) {
            error_ = ENOTSOCK;
            return;
        }
        auto it = t.sockets.find(int(socket));
        if (it == t.sockets.end() || it->second.closing) {
            error_ = ENOTSOCK;
            return;
        }
        ++it->second.users;
        fd_ = int(socket);
    }
    ~Use() {
        if (fd_ < 0) return;
        Table& t = table();
        std::lock_guard lock(t.mutex);
        auto it = t.sockets.find(fd_);
        if (it == t.sockets.end()) return;
        if (--it->second.users == 0 && it->second.closing) {
            ::close(fd_);
            t.sockets.erase(it);
        }
    }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;

    int fd() const { return fd_; }
    int error() const { return error_; }

    // True when this process shut the socket's sending side (or is closing it).
    bool sendShutLocally() const {
        Table& t = table();
        std::lock_guard lock(t.mutex);
        auto it = t.sockets.find(fd_);
        return it != t.sockets.end() && (it->second.sendShut || it->second.closing);
    }

private:
    int fd_ = -1;
    int error_ = 0;
};

// connect interrupted by a signal goes on in the background: wait for its end.
int finishInterruptedConnect(int fd) {
    pollfd p{fd, POLLOUT, 0};
    while (::poll(&p, 1, -1) < 0) {
        if (errno != EINTR) return errno;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
    return error;
}

} // namespace

void startup() {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    ++t.startups;
}

bool cleanup() {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    if (t.startups == 0) return false;
    if (--t.startups > 0) return true;
    for (auto it = t.sockets.begin(); it != t.sockets.end();) {
        if (!it->second.closing && beginClose(it->first, it->second)) {
            it = t.sockets.erase(it);
        } else {
            ++it;
        }
    }
    return true;
}

bool initialised() {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    return t.startups > 0;
}

Outcome createSocket(int family, int type, int protocol) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    if (t.startups == 0) return failure(kErrNotInitialised);
    const int fd = ::socket(family, type | SOCK_CLOEXEC, protocol);
    if (fd < 0) return failure(errno);
    t.sockets[fd] = Entry{};
    return Outcome{fd, 0};
}

Outcome connectIPv4(uint64_t socket, uint32_t address, uint16_t port) {
    Use use(socket);
    if (use.error() != 0) return failure(use.error());
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = port;
    remote.sin_addr.s_addr = address;
    if (::connect(use.fd(), reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0) {
        return Outcome{};
    }
    const int error = errno == EINTR ? finishInterruptedConnect(use.fd()) : errno;
    return error == 0 ? Outcome{} : failure(error);
}

Outcome sendAll(uint64_t socket, const char* data, size_t length) {
    Use use(socket);
    if (use.error() != 0) return failure(use.error());
    size_t sent = 0;
    while (sent < length) {
        const ssize_t n = ::send(use.fd(), data + sent, length - sent, MSG_NOSIGNAL);
        if (n >= 0) {
            sent += size_t(n);
            continue;
        }
        if (errno == EINTR) continue;
        if (sent > 0) break;
        // EPIPE means the sending side is gone: shut by us, or reset by the peer.
        if (errno == EPIPE) return failure(use.sendShutLocally() ? ESHUTDOWN : ECONNRESET);
        return failure(errno);
    }
    return Outcome{long(sent), 0};
}

Outcome receive(uint64_t socket, char* buffer, size_t capacity, bool peek) {
    Use use(socket);
    if (use.error() != 0) return failure(use.error());
    for (;;) {
        const ssize_t n = ::recv(use.fd(), buffer, capacity, peek ? MSG_PEEK : 0);
        if (n >= 0) return Outcome{long(n), 0};
        if (errno != EINTR) return failure(errno);
    }
}

Outcome shutdownSocket(uint64_t socket, int how) {
    static constexpr int kPosixHow[] = {SHUT_RD, SHUT_WR, SHUT_RDWR};
    if (how < 0 || how > 2) return failure(EINVAL);
    Table& t = table();
    std::lock_guard lock(t.mutex);
    if (t.startups == 0) return failure(kErrNotInitialised);
    auto it = socket > uint64_t(INT_MAX) ? t.sockets.end() : t.sockets.find(int(socket));
    if (it == t.sockets.end() || it->second.closing) return failure(ENOTSOCK);
    if (::shutdown(it->first, kPosixHow[how]) != 0) return failure(errno);
    if (how != 0) it->second.sendShut = true;
    return Outcome{};
}

Outcome closeSocket(uint64_t socket) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    if (t.startups == 0) return failure(kErrNotInitialised);
    auto it = socket > uint64_t(INT_MAX) ? t.sockets.end() : t.sockets.find(int(socket));
    if (it == t.sockets.end() || it->second.closing) return failure(ENOTSOCK);
    if (beginClose(it->first, it->second)) t.sockets.erase(it);
    return Outcome{};
}

} // namespace qb::winsock
