// The scripted server's listener, its accept thread and its accessors.
#include "tests/support/scripted_server.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <system_error>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/support/server_shared.h"

namespace qb::test {
namespace {

constexpr int kListenBacklog = 64;
constexpr Millis kAcceptRetry{10}; // after an accept failure such as EMFILE

} // namespace

struct ScriptedServer::State {
    detail::ServerShared shared;
    std::mutex lifecycle; // start and stop
    bool started = false;
    bool stopped = false;
    int listenFd = -1;
    std::atomic<int> port{0};
    std::thread acceptor;
    // Filled by the accept thread while it runs, joined by stop after it has ended.
    std::vector<std::thread> connectionThreads;

    State() {
        shared.stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        shared.releaseFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK | EFD_SEMAPHORE);
    }
    ~State() {
        if (shared.stopFd >= 0) ::close(shared.stopFd);
        if (shared.releaseFd >= 0) ::close(shared.releaseFd);
    }

    void acceptLoop() {
        for (;;) {
            pollfd fds[2] = {{listenFd, POLLIN, 0}, {shared.stopFd, POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds[1].revents != 0) return;
            acceptPending();
        }
    }

    void acceptPending() {
        for (;;) {
            const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EINTR) continue;
                if (errno != EAGAIN) std::this_thread::sleep_for(kAcceptRetry);
                return;
            }
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            size_t index = 0;
            {
                std::lock_guard lock(shared.mutex);
                if (shared.records.size() >= kMaxConnections) {
                    ::close(fd);
                    continue;
                }
                index = shared.records.size();
                shared.records.emplace_back();
            }
            shared.changed.notify_all();
            try {
                connectionThreads.emplace_back(detail::serveConnection, fd, index,
                                               std::ref(shared));
            } catch (const std::system_error&) {
                ::close(fd);
                shared.update(index, [](ConnectionRecord& r) { r.finished = r.closed = true; });
            }
        }
    }

    template <typename Condition> bool waitUntil(Millis limit, Condition condition) const {
        std::unique_lock lock(shared.mutex);
        return shared.changed.wait_for(lock, limit, condition);
    }
};

ScriptedServer::ScriptedServer() : state_(std::make_unique<State>()) {}

ScriptedServer::~ScriptedServer() {
    stop();
}

bool ScriptedServer::start() {
    State& s = *state_;
    std::lock_guard lock(s.lifecycle);
    if (s.started || s.shared.stopFd < 0 || s.shared.releaseFd < 0) return false;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, kListenBacklog) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return false;
    }
    s.listenFd = fd;
    s.port = ntohs(address.sin_port);
    try {
        s.acceptor = std::thread([&s] { s.acceptLoop(); });
    } catch (const std::system_error&) {
        ::close(fd);
        s.listenFd = -1;
        return false;
    }
    s.started = true;
    return true;
}

void ScriptedServer::stop() {
    State& s = *state_;
    std::lock_guard lock(s.lifecycle);
    if (!s.started || s.stopped) return;
    s.stopped = true;
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = ::write(s.shared.stopFd, &one, sizeof one);
    s.acceptor.join();
    for (std::thread& t : s.connectionThreads) t.join();
    s.connectionThreads.clear();
    ::close(s.listenFd);
    s.listenFd = -1;
}

int ScriptedServer::port() const {
    return state_->port;
}

void ScriptedServer::addReply(Reply reply) {
    const bool waitForHead = reply.waitsForHead();
    addResponder([reply = std::move(reply)](const std::string&) { return reply; }, waitForHead);
}

void ScriptedServer::addResponder(Responder responder, bool waitForHead) {
    std::lock_guard lock(state_->shared.mutex);
    state_->shared.script.push_back({std::move(responder), waitForHead});
}

void ScriptedServer::setFallback(Responder responder, bool waitForHead) {
    std::lock_guard lock(state_->shared.mutex);
    state_->shared.fallback = detail::ScriptedAnswer{std::move(responder), waitForHead};
}

size_t ScriptedServer::scriptedCount() const {
    std::lock_guard lock(state_->shared.mutex);
    return state_->shared.script.size();
}

void ScriptedServer::release(int count) {
    if (count <= 0) return;
    const uint64_t n = uint64_t(count);
    [[maybe_unused]] ssize_t ignored = ::write(state_->shared.releaseFd, &n, sizeof n);
}

size_t ScriptedServer::connectionCount() const {
    std::lock_guard lock(state_->shared.mutex);
    return state_->shared.records.size();
}

size_t ScriptedServer::finishedCount() const {
    std::lock_guard lock(state_->shared.mutex);
    size_t finished = 0;
    for (const auto& record : state_->shared.records) finished += record.finished ? 1 : 0;
    return finished;
}

std::optional<ConnectionRecord> ScriptedServer::connection(size_t index) const {
    std::lock_guard lock(state_->shared.mutex);
    if (index >= state_->shared.records.size()) return std::nullopt;
    return state_->shared.records[index];
}

std::vector<ConnectionRecord> ScriptedServer::connections() const {
    std::lock_guard lock(state_->shared.mutex);
    return state_->shared.records;
}

std::string ScriptedServer::request(size_t index) const {
    std::lock_guard lock(state_->shared.mutex);
    if (index >= state_->shared.records.size()) return {};
    return state_->shared.records[index].request;
}

std::vector<std::string> ScriptedServer::requests() const {
    std::lock_guard lock(state_->shared.mutex);
    std::vector<std::string> all;
    for (const auto& record : state_->shared.records) all.push_back(record.request);
    return all;
}

bool ScriptedServer::waitForConnections(size_t count, Millis limit) const {
    const auto& shared = state_->shared;
    return state_->waitUntil(limit, [&] { return shared.records.size() >= count; });
}

bool ScriptedServer::waitForRequests(size_t count, Millis limit) const {
    const auto& shared = state_->shared;
    return state_->waitUntil(limit, [&] {
        size_t complete = 0;
        for (const auto& record : shared.records) complete += record.headComplete ? 1 : 0;
        return complete >= count;
    });
}

bool ScriptedServer::waitForFinished(size_t count, Millis limit) const {
    const auto& shared = state_->shared;
    return state_->waitUntil(limit, [&] {
        size_t finished = 0;
        for (const auto& record : shared.records) finished += record.finished ? 1 : 0;
        return finished >= count;
    });
}

bool ScriptedServer::waitForStalls(size_t count, Millis limit) const {
    const auto& shared = state_->shared;
    return state_->waitUntil(limit, [&] { return shared.stallsBegun >= count; });
}

} // namespace qb::test
