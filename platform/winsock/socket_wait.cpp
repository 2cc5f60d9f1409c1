// Wait, under select: one poll over the watched sockets' descriptors.
#include <cerrno>
#include <chrono>
#include <climits>
#include <memory>
#include <vector>

#include <poll.h>
#include <sys/socket.h>

#include "platform/winsock/socket_entry.h"

namespace qb::winsock {
namespace {

// Bytes a receive would return without the system: in the socket's buffer or in TLS's.
bool HasBufferedBytes(Entry& entry) {
    std::unique_lock lock(entry.receive.mutex, std::try_to_lock);
    if (lock.owns_lock() && entry.receive.start != entry.receive.end) return true;
    if (entry.carriage.load(std::memory_order_acquire) != Carriage::Encrypted) return false;
    return entry.channel->HasPending();
}

// A non-blocking connect whose wait ended: true when it failed (error kept for SO_ERROR).
bool ConnectFailed(Entry& entry) {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(entry.fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (entry.shutLocally.load(std::memory_order_relaxed)) error = ESHUTDOWN;
    entry.connecting = false;
    entry.pendingError = error;
    return error != 0;
}

} // namespace

Outcome Wait(Watch* watches, size_t count, int timeoutMs) {
    if (count == 0) return Failure(EINVAL);
    std::vector<std::unique_ptr<Use>> uses;
    std::vector<pollfd> descriptors(count);
    std::vector<bool> connecting(count, false);
    bool readyNow = false;
    uses.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        Watch& w = watches[i];
        w.readable = w.writable = w.failed = false;
        uses.push_back(std::make_unique<Use>(w.socket));
        if (uses.back()->error() != 0) return Failure(uses.back()->error());
        Entry& entry = uses.back()->entry();
        {
            std::lock_guard lock(entry.stateMutex);
            connecting[i] = entry.connecting;
        }
        short events = 0;
        if (w.read) events |= POLLIN;
        if (w.write || (w.except && connecting[i])) events |= POLLOUT;
        descriptors[i] = pollfd{entry.fd, events, 0};
        if (w.read && !connecting[i] && HasBufferedBytes(entry)) {
            w.readable = true;
            readyNow = true;
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int limit = readyNow ? 0 : timeoutMs;
    while (::poll(descriptors.data(), descriptors.size(), limit) < 0) {
        if (errno != EINTR) return Failure(errno);
        if (limit > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            limit = int(std::max<long long>(0, left.count()));
        }
    }
    long ready = 0;
    for (size_t i = 0; i < count; ++i) {
        Watch& w = watches[i];
        Entry& entry = uses[i]->entry();
        const short seen = descriptors[i].revents;
        if (connecting[i]) {
            if ((seen & (POLLOUT | POLLERR | POLLHUP)) == 0) continue;
            std::lock_guard lock(entry.stateMutex);
            if (!entry.connecting) continue; // another thread's wait took the result
            if (ConnectFailed(entry)) {
                w.failed = w.except;
            } else {
                w.writable = w.write;
            }
        } else {
            if (w.read && (seen & (POLLIN | POLLHUP | POLLERR)) != 0) w.readable = true;
            if (w.write && (seen & (POLLOUT | POLLERR | POLLHUP)) != 0) w.writable = true;
        }
        if (w.readable || w.writable || w.failed) ++ready;
    }
    return Outcome{ready, 0};
}

} // namespace qb::winsock
