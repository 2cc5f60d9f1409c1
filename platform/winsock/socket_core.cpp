// Sockets over non-blocking BSD descriptors, with the table of the sockets this layer made
// (socket_entry.h says why closing is safe). Blocking calls wait in poll, bounded by the
// socket's timeouts; shutdown wakes them.
#include "platform/winsock/socket_core.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>
#include <unordered_map>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/winsock/socket_entry.h"

namespace qb::winsock {
namespace {

using Sockets = std::unordered_map<int, std::shared_ptr<Entry>>;

struct Table {
    std::mutex mutex;
    std::atomic<int> startups{0}; // changed under the mutex; read without it
    Sockets sockets;
};

// Never destroyed: threads may still close sockets while the process exits.
Table& GetTable() {
    static Table& instance = *new Table;
    return instance;
}

// With the table locked: takes the entry out of the table. A call still holding it is
// woken by the shutdown; the last holder, the caller's result included, closes the
// descriptor when it lets go.
std::shared_ptr<Entry> Detach(Sockets& sockets, Sockets::iterator it) {
    std::shared_ptr<Entry> entry = std::move(it->second);
    sockets.erase(it);
    entry->sendShut.store(true, std::memory_order_relaxed);
    entry->shutLocally.store(true, std::memory_order_relaxed);
    // Holders come only through the table, so a count of 1 means no call runs on it.
    if (entry.use_count() > 1) ::shutdown(entry->fd, SHUT_RDWR);
    return entry;
}

// With the table locked: the entry of socket, or end().
Sockets::iterator Find(Table& t, uint64_t socket) {
    return socket > uint64_t(INT_MAX) ? t.sockets.end() : t.sockets.find(int(socket));
}

bool Blocking(const Entry& entry) {
    return !entry.nonBlocking.load(std::memory_order_relaxed);
}

uint32_t TimeoutOf(const Entry& entry, short events) {
    const auto& timeout = events == POLLIN ? entry.receiveTimeoutMs : entry.sendTimeoutMs;
    return timeout.load(std::memory_order_relaxed);
}

// One system receive, again when a signal interrupts it; waits for bytes when blocking.
Outcome ReceiveFromSystem(const Entry& entry, char* buffer, size_t capacity, int flags) {
    for (;;) {
        const ssize_t n = ::recv(entry.fd, buffer, capacity, flags | MSG_DONTWAIT);
        if (n >= 0) return Outcome{long(n), 0};
        if (errno == EINTR) continue;
        if (errno != EAGAIN || !Blocking(entry)) return Failure(errno);
        const int waited = WaitForDescriptor(entry.fd, POLLIN, TimeoutOf(entry, POLLIN));
        if (waited != 0) return Failure(waited);
    }
}

// One TLS receive; a wait for the peer's bytes is bounded by the socket's timeouts.
Outcome ReceiveSecure(Entry& entry, char* buffer, size_t capacity) {
    for (;;) {
        const StepResult r = entry.channel->Read(buffer, capacity);
        if (r.step == Step::Done) return Outcome{long(r.bytes), 0};
        if (r.step == Step::Closed) return Outcome{0, 0};
        if (r.step == Step::Failed) {
            // Our own shutdown ends the stream as an orderly end, as on a plain socket; a
            // peer that stops without ending TLS may have cut the data short.
            if (entry.shutLocally.load(std::memory_order_relaxed)) return Outcome{0, 0};
            return Failure(ECONNRESET);
        }
        if (!Blocking(entry)) return Failure(EAGAIN);
        const short events = r.step == Step::WantRead ? POLLIN : POLLOUT;
        const int waited = WaitForDescriptor(entry.fd, events, TimeoutOf(entry, events));
        if (waited != 0) return Failure(waited);
    }
}

// What the socket's current carriage allows; 0 when bytes may move.
int CarriageError(const Entry& entry) {
    switch (entry.carriage.load(std::memory_order_acquire)) {
    case Carriage::Awaiting:
        return ENOTCONN;
    case Carriage::Broken:
        return ECONNABORTED;
    default:
        return 0;
    }
}

Outcome Fill(Entry& entry, char* buffer, size_t capacity, int flags) {
    if (entry.carriage.load(std::memory_order_acquire) == Carriage::Encrypted)
        return ReceiveSecure(entry, buffer, capacity);
    return ReceiveFromSystem(entry, buffer, capacity, flags);
}

// The end of a connect under way: 0 connected, else its error.
int FinishConnect(Entry& entry) {
    for (;;) {
        const int waited = WaitForDescriptor(entry.fd, POLLOUT, 0);
        if (waited != 0) return waited;
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(entry.fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
        if (entry.shutLocally.load(std::memory_order_relaxed)) return ESHUTDOWN;
        if (error != 0) return error;
        sockaddr_in6 peer{};
        socklen_t peerLength = sizeof peer;
        if (::getpeername(entry.fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) == 0) return 0;
        if (errno != ENOTCONN) return errno;
    }
}

} // namespace

Entry::~Entry() {
    channel.reset(); // the TLS state, before the descriptor under it
    ::close(fd);
}

std::shared_ptr<Entry> Use::Lookup(uint64_t socket, int* error) {
    Table& t = GetTable();
    std::lock_guard lock(t.mutex);
    if (t.startups.load(std::memory_order_relaxed) == 0) {
        *error = kErrNotInitialised;
        return nullptr;
    }
    auto it = Find(t, socket);
    if (it == t.sockets.end()) {
        *error = ENOTSOCK;
        return nullptr;
    }
    return it->second;
}

int WaitForDescriptor(int fd, short events, uint32_t timeoutMs) {
    pollfd p{fd, events, 0};
    const int limit = timeoutMs == 0 ? -1 : int(std::min<uint32_t>(timeoutMs, INT_MAX));
    for (;;) {
        const int n = ::poll(&p, 1, limit);
        if (n > 0) return 0;
        if (n == 0) return ETIMEDOUT;
        if (errno != EINTR) return errno;
    }
}

void Startup() {
    Table& t = GetTable();
    std::lock_guard lock(t.mutex);
    t.startups.fetch_add(1, std::memory_order_relaxed);
}

bool Cleanup() {
    Table& t = GetTable();
    std::lock_guard lock(t.mutex);
    const int startups = t.startups.load(std::memory_order_relaxed);
    if (startups == 0) return false;
    t.startups.store(startups - 1, std::memory_order_relaxed);
    if (startups > 1) return true;
    while (!t.sockets.empty()) Detach(t.sockets, t.sockets.begin());
    return true;
}

bool Initialised() {
    return GetTable().startups.load(std::memory_order_relaxed) > 0;
}

Outcome CreateSocket(int family, int type, int protocol) {
    Table& t = GetTable();
    std::lock_guard lock(t.mutex);
    if (t.startups.load(std::memory_order_relaxed) == 0) return Failure(kErrNotInitialised);
    const int posixFamily = family == 6 ? AF_INET6 : AF_INET;
    const int fd = ::socket(posixFamily, type | SOCK_CLOEXEC | SOCK_NONBLOCK, protocol);
    if (fd < 0) return Failure(errno);
    try {
        t.sockets[fd] = std::make_shared<Entry>(fd, type == SOCK_STREAM);
    } catch (const std::bad_alloc&) {
        ::close(fd);
        return Failure(ENOBUFS);
    }
    return Outcome{fd, 0};
}

Outcome Connect(uint64_t socket, const Remote& remote) {
    Use use(socket);
    if (use.error() != 0) return Failure(use.error());
    Entry& entry = use.entry();
    sockaddr_in6 storage{};
    socklen_t length = 0;
    if (remote.family == 6) {
        storage.sin6_family = AF_INET6;
        storage.sin6_port = remote.port;
        storage.sin6_flowinfo = remote.flowInfo;
        std::memcpy(&storage.sin6_addr, remote.address, 16);
        storage.sin6_scope_id = remote.scopeId;
        length = sizeof(sockaddr_in6);
    } else {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
        v4->sin_family = AF_INET;
        v4->sin_port = remote.port;
        std::memcpy(&v4->sin_addr, remote.address, 4);
        length = sizeof(sockaddr_in);
    }
    {
        std::lock_guard lock(entry.stateMutex);
        if (entry.connecting) return Failure(EALREADY);
        if (entry.connectStarted) return Failure(EISCONN);
        entry.connectStarted = true;
    }
    int error = 0;
    if (::connect(use.fd(), reinterpret_cast<const sockaddr*>(&storage), length) != 0) {
        error = errno;
    }
    if (error == EINPROGRESS || error == EINTR) {
        if (!Blocking(entry)) {
            std::lock_guard lock(entry.stateMutex);
            entry.connecting = true;
            return Failure(EAGAIN);
        }
        error = FinishConnect(entry);
    }
    if (error != 0) return Failure(error);
    if (entry.carriage.load(std::memory_order_acquire) == Carriage::Awaiting && Blocking(entry)) {
        const int handshake = RunHandshake(entry);
        if (handshake != 0) return Failure(handshake);
    }
    return Outcome{};
}

Outcome SendAll(uint64_t socket, const char* data, size_t length) {
    Use use(socket);
    if (use.error() != 0) return Failure(use.error());
    Entry& entry = use.entry();
    if (const int refused = CarriageError(entry); refused != 0) return Failure(refused);
    const bool secure = entry.carriage.load(std::memory_order_acquire) == Carriage::Encrypted;
    size_t sent = 0;
    while (sent < length) {
        short waitFor = POLLOUT;
        if (secure) {
            const StepResult r = entry.channel->Write(data + sent, length - sent);
            if (r.step == Step::Done) {
                sent += r.bytes;
                continue;
            }
            if (r.step != Step::WantRead && r.step != Step::WantWrite) {
                if (sent > 0) break;
                const bool ours = entry.sendShut.load(std::memory_order_relaxed);
                return Failure(ours ? ESHUTDOWN : ECONNRESET);
            }
            if (r.step == Step::WantRead) waitFor = POLLIN;
        } else {
            const ssize_t n =
                ::send(entry.fd, data + sent, length - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n >= 0) {
                sent += size_t(n);
                continue;
            }
            if (errno == EINTR) continue;
            if (errno != EAGAIN) {
                if (sent > 0) break;
                // EPIPE means the sending side is gone: shut by us, or reset by the peer.
                if (errno == EPIPE) {
                    const bool ours = entry.sendShut.load(std::memory_order_relaxed);
                    return Failure(ours ? ESHUTDOWN : ECONNRESET);
                }
                return Failure(errno);
            }
        }
        if (!Blocking(entry)) {
            if (sent > 0) break;
            return Failure(EAGAIN);
        }
        const int waited = WaitForDescriptor(entry.fd, waitFor, TimeoutOf(entry, POLLOUT));
        if (waited != 0) return Failure(waited);
    }
    return Outcome{long(sent), 0};
}

Outcome Receive(uint64_t socket, char* buffer, size_t capacity, bool peek) {
    Use use(socket);
    if (use.error() != 0) return Failure(use.error());
    Entry& entry = use.entry();
    if (const int refused = CarriageError(entry); refused != 0) return Failure(refused);
    const int peekFlag = peek ? MSG_PEEK : 0;
    if (!entry.stream || capacity == 0) return ReceiveFromSystem(entry, buffer, capacity, peekFlag);
    ReceiveBuffer& held = entry.receive;
    std::lock_guard lock(held.mutex);
    if (held.start == held.end) {
        if (capacity >= kReceiveBufferBytes && !peek) return Fill(entry, buffer, capacity, 0);
        if (held.bytes == nullptr) held.bytes.reset(new (std::nothrow) char[kReceiveBufferBytes]);
        if (held.bytes == nullptr) return Failure(ENOBUFS);
        const Outcome filled = Fill(entry, held.bytes.get(), kReceiveBufferBytes, 0);
        if (filled.error != 0 || filled.value == 0) return filled;
        held.start = 0;
        held.end = size_t(filled.value);
    }
    const size_t taken = std::min(capacity, held.end - held.start);
    std::memcpy(buffer, held.bytes.get() + held.start, taken);
    if (!peek) held.start += taken;
    return Outcome{long(taken), 0};
}

Outcome SpliceToPipe(uint64_t socket, int pipeIn, size_t capacity) {
    Use use(socket);
    if (use.error() != 0) return Failure(use.error());
    Entry& entry = use.entry();
    if (const int refused = CarriageError(entry); refused != 0) return Failure(refused);
    if (!entry.stream || entry.carriage.load(std::memory_order_acquire) != Carriage::Plain) {
        return Failure(kErrNotDirect);
    }
    ReceiveBuffer& held = entry.receive;
    std::lock_guard lock(held.mutex);
    if (held.start != held.end) return Failure(kErrNotDirect);
    for (;;) {
        // The pipe is empty, so EAGAIN means the socket has nothing yet.
        const ssize_t n = ::splice(entry.fd, nullptr, pipeIn, nullptr, capacity,
                                   SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
        if (n >= 0) return Outcome{long(n), 0};
        if (errno == EINTR) continue;
        if (errno == EINVAL || errno == ENOSYS) return Failure(kErrNotDirect);
        if (errno != EAGAIN || !Blocking(entry)) return Failure(errno);
        const int waited = WaitForDescriptor(entry.fd, POLLIN, TimeoutOf(entry, POLLIN));
        if (waited != 0) return Failure(waited);
    }
}

Outcome ShutdownSocket(uint64_t socket, int how) {
    static constexpr int kPosixHow[] = {SHUT_RD, SHUT_WR, SHUT_RDWR};
    if (how < 0 || how > 2) return Failure(EINVAL);
    Table& t = GetTable();
    std::lock_guard lock(t.mutex);
    if (t.startups.load(std::memory_order_relaxed) == 0) return Failure(kErrNotInitialised);
    auto it = Find(t, socket);
    if (it == t.sockets.end()) return Failure(ENOTSOCK);
    // Marked before the system call: a call it wakes reads the marks to tell our shutdown
    // from a reset by the peer.
    Entry& entry = *it->second;
    const bool wasShut = entry.sendShut.load(std::memory_order_relaxed);
    const bool wasShutLocally = entry.shutLocally.load(std::memory_order_relaxed);
    if (how != 0) entry.sendShut.store(true, std::memory_order_relaxed);
    entry.shutLocally.store(true, std::memory_order_relaxed);
    if (::shutdown(entry.fd, kPosixHow[how]) != 0) {
        const int error = errno;
        entry.sendShut.store(wasShut, std::memory_order_relaxed);
        entry.shutLocally.store(wasShutLocally, std::memory_order_relaxed);
        return Failure(error);
    }
    return Outcome{};
}

Outcome CloseSocket(uint64_t socket) {
    std::shared_ptr<Entry> released; // closes the descriptor after the table's lock
    Table& t = GetTable();
    std::lock_guard lock(t.mutex);
    if (t.startups.load(std::memory_order_relaxed) == 0) return Failure(kErrNotInitialised);
    auto it = Find(t, socket);
    if (it == t.sockets.end()) return Failure(ENOTSOCK);
    released = Detach(t.sockets, it);
    return Outcome{};
}

Outcome SetTimeout(uint64_t socket, Direction direction, uint32_t milliseconds) {
    Use use(socket);
    if (use.error() != 0) return Failure(use.error());
    Entry& entry = use.entry();
    auto& timeout = direction == Direction::Receive ? entry.receiveTimeoutMs : entry.sendTimeoutMs;
    timeout.store(milliseconds, std::memory_order_relaxed);
    return Outcome{};
}

Outcome GetTimeout(uint64_t socket, Direction direction) {
    Use use(socket);
    if (use.error() != 0) return Failure(use.error());
    const Entry& entry = use.entry();
    const auto& timeout =
        direction == Direction::Receive ? entry.receiveTimeoutMs : entry.sendTimeoutMs;
    return Outcome{long(timeout.load(std::memory_order_relaxed)), 0};
}

Outcome SetNonBlocking(uint64_t socket, bool nonBlocking) {
    Use use(socket);
    if (use.error() != 0) return Failure(use.error());
    use.entry().nonBlocking.store(nonBlocking, std::memory_order_relaxed);
    return Outcome{};
}

Outcome TakePendingError(uint64_t socket) {
    Use use(socket);
    if (use.error() != 0) return Failure(use.error());
    Entry& entry = use.entry();
    std::lock_guard lock(entry.stateMutex);
    const int error = entry.pendingError;
    entry.pendingError = 0;
    return Outcome{error, 0};
}

} // namespace qb::winsock
