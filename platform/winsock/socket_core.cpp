// Sockets over BSD descriptors, with a table of the sockets this layer created.
//
// The table is what makes closing safe while another thread is inside a call on the same
// socket: every call holds the socket's entry for its length, and closing takes the entry
// out of the table and only shuts the socket down (which wakes the blocked call) while a
// call still holds it; the last holder closes the descriptor. So the descriptor number
// cannot be reused under a running call, and a call on a SOCKET that was closed, or never
// came from this layer, fails with ENOTSOCK.
#include "socket_core.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qb::winsock {
namespace {

// Bytes read from a stream socket ahead of its callers: [start, end) of bytes are unread.
struct ReceiveBuffer {
    std::mutex mutex;              // one receive at a time fills or takes from the buffer
    std::unique_ptr<char[]> bytes; // made at the first small receive
    size_t start = 0;
    size_t end = 0;
};

struct Entry {
    Entry(int descriptor, bool isStream) : fd(descriptor), stream(isStream) {}
    ~Entry() { ::close(fd); }
    Entry(const Entry&) = delete;
    Entry& operator=(const Entry&) = delete;

    const int fd;
    const bool stream;                 // byte stream: receives may be buffered
    std::atomic<bool> sendShut{false}; // shut for sending, or closed, by this process
    ReceiveBuffer receive;
};

struct Table {
    std::mutex mutex;
    std::atomic<int> startups{0}; // changed under the mutex; read without it
    // Counts the entries taken out; changed under the mutex before the removal.
    std::atomic<uint64_t> removals{0};
    std::unordered_map<int, std::shared_ptr<Entry>> sockets;
};

// The calling thread's last socket: a thread receiving from one socket again and again
// finds it without the table's lock. It holds no reference, so a closed socket's
// descriptor is never kept open by it; it is valid while no entry was removed since.
struct LastUse {
    int fd = -1;
    uint64_t removals = 0;
    std::weak_ptr<Entry> entry;
};
thread_local LastUse tLastUse;

// Never destroyed: threads may still close sockets while the process exits.
Table& table() {
    static Table& instance = *new Table;
    return instance;
}

Outcome failure(int error) {
    return Outcome{-1, error};
}

// With the table locked: takes the entry out of the table. A call still holding it is
// woken by the shutdown; the last holder, the caller's result included, closes the
// descriptor when it lets go.
std::shared_ptr<Entry> detach(std::unordered_map<int, std::shared_ptr<Entry>>& sockets,
                              std::unordered_map<int, std::shared_ptr<Entry>>::iterator it) {
    table().removals.fetch_add(1, std::memory_order_release);
    std::shared_ptr<Entry> entry = std::move(it->second);
    sockets.erase(it);
    entry->sendShut.store(true, std::memory_order_relaxed);
    // Holders come only through the table, so a count of 1 means no call runs on it.
    if (entry.use_count() > 1) ::shutdown(entry->fd, SHUT_RDWR);
    return entry;
}

// Holds a socket's entry for the length of one call.
class Use {
public:
    explicit Use(uint64_t socket) {
        Table& t = table();
        LastUse& last = tLastUse;
        if (socket <= uint64_t(INT_MAX) && last.fd == int(socket) &&
            last.removals == t.removals.load(std::memory_order_acquire) &&
            t.startups.load(std::memory_order_relaxed) > 0) {
            // No entry was removed since the call that filled the cache: still open.
            entry_ = last.entry.lock();
            if (entry_ != nullptr) return;
        }
        std::lock_guard lock(t.mutex);
        if (t.startups.load(std::memory_order_relaxed) == 0) {
            error_ = kErrNotInitialised;
            return;
        }
        if (socket > uint64_t(INT_MAX)) {
            error_ = ENOTSOCK;
            return;
        }
        auto it = t.sockets.find(int(socket));
        if (it == t.sockets.end()) {
            error_ = ENOTSOCK;
            return;
        }
        entry_ = it->second;
        last.fd = int(socket);
        last.removals = t.removals.load(std::memory_order_relaxed);
        last.entry = entry_;
    }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;

    Entry& entry() const { return *entry_; }
    int fd() const { return entry_->fd; }
    int error() const { return error_; }

    // True when this process shut the socket's sending side (or is closing it).
    bool sendShutLocally() const { return entry_->sendShut.load(std::memory_order_relaxed); }

private:
    std::shared_ptr<Entry> entry_;
    int error_ = 0;
};

// One system receive, again when a signal interrupts it.
Outcome receiveFromSystem(int fd, char* buffer, size_t capacity, int flags) {
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, capacity, flags);
        if (n >= 0) return Outcome{long(n), 0};
        if (errno != EINTR) return failure(errno);
    }
}

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
    t.startups.fetch_add(1, std::memory_order_relaxed);
}

bool cleanup() {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    const int startups = t.startups.load(std::memory_order_relaxed);
    if (startups == 0) return false;
    t.startups.store(startups - 1, std::memory_order_relaxed);
    if (startups > 1) return true;
    while (!t.sockets.empty()) detach(t.sockets, t.sockets.begin());
    return true;
}

bool initialised() {
    return table().startups.load(std::memory_order_relaxed) > 0;
}

Outcome createSocket(int family, int type, int protocol) {
    Table& t = table();
    std::lock_guard lock(t.mutex);
    if (t.startups.load(std::memory_order_relaxed) == 0) return failure(kErrNotInitialised);
    const int fd = ::socket(family, type | SOCK_CLOEXEC, protocol);
    if (fd < 0) return failure(errno);
    try {
        t.sockets[fd] = std::make_shared<Entry>(fd, type == SOCK_STREAM);
    } catch (const std::bad_alloc&) {
        ::close(fd);
        return failure(ENOBUFS);
    }
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
    Entry& entry = use.entry();
    const int peekFlag = peek ? MSG_PEEK : 0;
    if (!entry.stream || capacity == 0)
        return receiveFromSystem(entry.fd, buffer, capacity, peekFlag);
    ReceiveBuffer& held = entry.receive;
    std::lock_guard lock(held.mutex);
    if (held.start == held.end) {
        if (capacity >= kReceiveBufferBytes && !peek) {
            return receiveFromSystem(entry.fd, buffer, capacity, 0);
        }
        if (held.bytes == nullptr) held.bytes.reset(new (std::nothrow) char[kReceiveBufferBytes]);
        if (held.bytes == nullptr) return receiveFromSystem(entry.fd, buffer, capacity, peekFlag);
        const Outcome filled =
            receiveFromSystem(entry.fd, held.bytes.get(), kReceiveBufferBytes, 0);
        if (filled.error != 0 || filled.value == 0) return filled;
        held.start = 0;
        held.end = size_t(filled.value);
    }
    const size_t taken = std::min(capacity, held.end - held.start);
    std::memcpy(buffer, held.bytes.get() + held.start, taken);
    if (!peek) held.start += taken;
    return Outcome{long(taken), 0};
}

Outcome shutdownSocket(uint64_t socket, int how) {
    static constexpr int kPosixHow[] = {SHUT_RD, SHUT_WR, SHUT_RDWR};
    if (how < 0 || how > 2) return failure(EINVAL);
    Table& t = table();
    std::lock_guard lock(t.mutex);
    if (t.startups.load(std::memory_order_relaxed) == 0) return failure(kErrNotInitialised);
    auto it = socket > uint64_t(INT_MAX) ? t.sockets.end() : t.sockets.find(int(socket));
    if (it == t.sockets.end()) return failure(ENOTSOCK);
    // Marked before the system call: a send it wakes reads the mark to tell our shutdown
    // from a reset by the peer.
    std::atomic<bool>& sendShut = it->second->sendShut;
    const bool wasShut = sendShut.load(std::memory_order_relaxed);
    if (how != 0) sendShut.store(true, std::memory_order_relaxed);
    if (::shutdown(it->first, kPosixHow[how]) != 0) {
        const int error = errno;
        sendShut.store(wasShut, std::memory_order_relaxed);
        return failure(error);
    }
    return Outcome{};
}

Outcome closeSocket(uint64_t socket) {
    std::shared_ptr<Entry> released; // closes the descriptor after the table's lock
    Table& t = table();
    std::lock_guard lock(t.mutex);
    if (t.startups.load(std::memory_order_relaxed) == 0) return failure(kErrNotInitialised);
    auto it = socket > uint64_t(INT_MAX) ? t.sockets.end() : t.sockets.find(int(socket));
    if (it == t.sockets.end()) return failure(ENOTSOCK);
    released = detach(t.sockets, it);
    return Outcome{};
}

} // namespace qb::winsock
