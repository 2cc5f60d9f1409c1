// Loopback helpers: non-blocking descriptors with poll, so every wait has its limit.
#include "tests/support/loopback.h"

#include <algorithm>
#include <cerrno>
#include <thread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qb::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr Millis kProbeInterval{10};
constexpr size_t kReceiveChunk = 16384;
constexpr int kSilentBacklog = 8;

sockaddr_in loopbackAddress(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<Millis>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : int(left);
}

// Waits for events on fd until the deadline; false when it passed first.
bool waitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, remainingMs(deadline));
        if (n > 0) return true;
        if (n == 0) return false;
        if (errno != EINTR) return false;
    }
}

// A non-blocking TCP connect to 127.0.0.1:port within the deadline; the socket or -1.
int connectTo(int port, Clock::time_point deadline, bool ipv6 = false) {
    const int fd =
        ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const sockaddr_in address = loopbackAddress(port);
    sockaddr_in6 address6{};
    address6.sin6_family = AF_INET6;
    address6.sin6_port = htons(uint16_t(port));
    address6.sin6_addr = in6addr_loopback;
    const int connected =
        ipv6 ? ::connect(fd, reinterpret_cast<const sockaddr*>(&address6), sizeof address6)
             : ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (connected == 0) return fd;
    if (errno == EINPROGRESS && waitFor(fd, POLLOUT, deadline)) {
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) {
            return fd;
        }
    }
    ::close(fd);
    return -1;
}

} // namespace

int pickFreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return 0;
    sockaddr_in address = loopbackAddress(0);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

bool waitUntilAccepting(int port, Millis limit, const std::function<bool()>& keepTrying,
                        bool ipv6) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        const int fd =
            connectTo(port, std::min(deadline, Clock::now() + kProbeInterval * 10), ipv6);
        if (fd >= 0) {
            ::close(fd);
            return true;
        }
        if ((keepTrying && !keepTrying()) || Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kProbeInterval);
    }
}

LoopbackClient::~LoopbackClient() {
    close();
}

bool LoopbackClient::connect(int port, Millis limit) {
    close();
    peerClosed_ = peerReset_ = timedOut_ = false;
    fd_ = connectTo(port, Clock::now() + limit);
    return fd_ >= 0;
}

bool LoopbackClient::sendAll(std::string_view bytes, Millis limit) {
    if (fd_ < 0) return false;
    const auto deadline = Clock::now() + limit;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += size_t(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            if (!waitFor(fd_, POLLOUT, deadline)) return false;
        } else {
            return false;
        }
    }
    return true;
}

std::string LoopbackClient::receive(size_t count, Millis limit) {
    std::string received;
    timedOut_ = false;
    if (fd_ < 0) return received;
    const auto deadline = Clock::now() + limit;
    char chunk[kReceiveChunk];
    while (received.size() < count && !peerClosed_) {
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n > 0) {
            received.append(chunk, size_t(n));
        } else if (n == 0) {
            peerClosed_ = true;
        } else if (errno == EINTR) {
            continue;
        } else if (errno == EAGAIN) {
            if (!waitFor(fd_, POLLIN, deadline)) {
                timedOut_ = true;
                break;
            }
        } else {
            peerClosed_ = true;
            peerReset_ = errno == ECONNRESET;
        }
    }
    return received;
}

std::string LoopbackClient::receiveAll(Millis limit) {
    return receive(std::string::npos, limit);
}

void LoopbackClient::shutdownSend() {
    if (fd_ >= 0) ::shutdown(fd_, SHUT_WR);
}

void LoopbackClient::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

SilentListener::~SilentListener() {
    stop();
}

bool SilentListener::start() {
    stop();
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return false;
    sockaddr_in address = loopbackAddress(0);
    socklen_t length = sizeof address;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd_, kSilentBacklog) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        stop();
        return false;
    }
    port_ = ntohs(address.sin_port);
    return true;
}

void SilentListener::stop() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    port_ = 0;
}

SwallowingListener::~SwallowingListener() {
    stop();
}

bool SwallowingListener::start(int port) {
    stop();
    fd_ = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return false;
    const int on = 1;
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(static_cast<uint16_t>(port));
    address.sin6_addr = in6addr_loopback;
    if (::setsockopt(fd_, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) != 0 ||
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd_, 0) != 0) {
        stop();
        return false;
    }
    // Connections that complete take the backlog's places; the first that does not complete
    // in a moment shows its SYN was dropped.
    constexpr int kFillWaitMs = 300;
    while (fillerCount_ < kMaxFillers) {
        const int filler = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (filler < 0) break;
        if (::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 &&
            errno != EINPROGRESS) {
            ::close(filler);
            break;
        }
        pollfd p{filler, POLLOUT, 0};
        int error = 0;
        socklen_t length = sizeof error;
        const bool completed = ::poll(&p, 1, kFillWaitMs) == 1 &&
                               ::getsockopt(filler, SOL_SOCKET, SO_ERROR, &error, &length) == 0 &&
                               error == 0;
        if (!completed) {
            ::close(filler);
            return fillerCount_ > 0;
        }
        fillers_[fillerCount_++] = filler;
    }
    stop();
    return false;
}

void SwallowingListener::stop() {
    for (size_t i = 0; i < fillerCount_; ++i) ::close(fillers_[i]);
    fillerCount_ = 0;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

std::string roundTrip(int port, std::string_view request, Millis limit) {
    LoopbackClient client;
    if (!client.connect(port, limit) || !client.sendAll(request, limit)) return {};
    return client.receiveAll(limit);
}

} // namespace qb::test
