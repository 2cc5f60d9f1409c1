// Loopback helpers over raw POSIX sockets: free ports, readiness probes and a small blocking
// client for tests that must not depend on the project's own HTTP code. Nothing here blocks
// past the limit it is given.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace qb::test {

using Millis = std::chrono::milliseconds;

inline constexpr Millis kDefaultClientLimit{5000};

// A port on 127.0.0.1 that was free a moment ago (bound with port 0, read, closed); 0 when
// none could be had.
int pickFreePort();

// Tries to connect to 127.0.0.1:port ([::1]:port with ipv6) until it succeeds or the limit
// passes; stops early when keepTrying (if given) returns false.
bool waitUntilAccepting(int port, Millis limit, const std::function<bool()>& keepTrying = {},
                        bool ipv6 = false);

// One TCP connection to 127.0.0.1.
class LoopbackClient {
public:
    LoopbackClient() = default;
    ~LoopbackClient();
    LoopbackClient(const LoopbackClient&) = delete;
    LoopbackClient& operator=(const LoopbackClient&) = delete;

    bool connect(int port, Millis limit = kDefaultClientLimit);
    bool sendAll(std::string_view bytes, Millis limit = kDefaultClientLimit);
    // Bytes until the peer closes (or resets) the connection, or the limit passes.
    std::string receiveAll(Millis limit = kDefaultClientLimit);
    // Bytes until at least count have arrived, the peer closes, or the limit passes.
    std::string receive(size_t count, Millis limit = kDefaultClientLimit);
    void shutdownSend();
    void close();

    bool connected() const { return fd_ >= 0; }
    bool peerClosed() const { return peerClosed_; } // orderly end or reset seen
    bool peerReset() const { return peerReset_; }   // ECONNRESET seen
    bool timedOut() const { return timedOut_; }     // the last receive hit its limit

private:
    int fd_ = -1;
    bool peerClosed_ = false;
    bool peerReset_ = false;
    bool timedOut_ = false;
};

// Listens on 127.0.0.1 (system port) and never accepts: connections complete in the
// backlog and nothing is ever read, so a peer's sends block once the buffers are full.
class SilentListener {
public:
    SilentListener() = default;
    ~SilentListener();
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    bool start();
    int port() const { return port_; }
    void stop();

private:
    int fd_ = -1;
    int port_ = 0;
};

// Listens on [::1]:port and never accepts, its backlog filled by connections of its own:
// the system then drops every further SYN to it, as a route that swallows packets does.
class SwallowingListener {
public:
    SwallowingListener() = default;
    ~SwallowingListener();
    SwallowingListener(const SwallowingListener&) = delete;
    SwallowingListener& operator=(const SwallowingListener&) = delete;

    // false when [::1]:port cannot be had or the backlog would not fill.
    bool start(int port);
    void stop();

private:
    static constexpr size_t kMaxFillers = 8;
    int fd_ = -1;
    int fillers_[kMaxFillers] = {};
    size_t fillerCount_ = 0;
};

// Connects, sends request, returns everything until the server closes (bounded by limit).
std::string roundTrip(int port, std::string_view request, Millis limit = kDefaultClientLimit);

} // namespace qb::test
