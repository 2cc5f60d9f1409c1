// A scripted HTTP server on 127.0.0.1 (port chosen by the system), on its own threads inside
// the test process. It records what every connection sends and answers the connections in
// the order they are accepted, each with the next scripted reply (scripted_reply.h). All
// accessors are thread-safe; every wait is bounded. The header includes no POSIX socket
// header, so it can sit next to <winsock.h>.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/scripted_reply.h"

namespace qb::test {

inline constexpr Millis kDefaultEventWait{5000};
inline constexpr size_t kMaxConnections = 256;         // later connections are closed at once
inline constexpr size_t kMaxRecordedBytes = 16u << 20; // per connection; the rest is read, not kept

struct ConnectionRecord {
    std::string request;       // bytes received before the first reply byte went out (all, if none)
    std::string received;      // every byte received on the connection
    bool headComplete = false; // the empty line ending the header block arrived
    bool peerClosed = false;   // the peer closed its end, or reset the connection
    bool peerReset = false;
    bool sendFailed = false;   // a send step could not complete
    bool waitTimedOut = false; // a wait for request bytes ran out of time
    bool finished = false;     // the reply is over: its last byte and the FIN (or RST) sent
    bool closed = false;       // the socket is closed (after the peer's FIN, or a short wait)
};

class ScriptedServer {
public:
    ScriptedServer();
    ~ScriptedServer(); // stop()
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    // Listens and starts serving; false when it cannot listen. Once per object.
    bool start();
    // Ends every connection at once (running steps are cut short) and joins the threads.
    // The records stay readable.
    void stop();
    int port() const;

    // The next connection's answer. May be called before or after start.
    void addReply(Reply reply);
    void addResponder(Responder responder, bool waitForHead = true);
    // The answer for connections beyond the scripted ones; without one they are closed
    // once their header block has arrived (or its wait ran out).
    void setFallback(Responder responder, bool waitForHead = true);
    size_t scriptedCount() const;

    // Ends one stall per count, now or (when none is waiting) the next ones to begin.
    void release(int count = 1);

    size_t connectionCount() const;
    size_t finishedCount() const;
    std::optional<ConnectionRecord> connection(size_t index) const;
    std::vector<ConnectionRecord> connections() const;
    // connection(index)->request, or empty.
    std::string request(size_t index) const;
    std::vector<std::string> requests() const;

    // Each returns true once the condition holds, false when the limit passed first.
    bool waitForConnections(size_t count, Millis limit = kDefaultEventWait) const;
    bool waitForRequests(size_t count, Millis limit = kDefaultEventWait) const; // complete heads
    bool waitForFinished(size_t count, Millis limit = kDefaultEventWait) const;
    bool waitForStalls(size_t count, Millis limit = kDefaultEventWait) const; // stalls begun

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace qb::test
