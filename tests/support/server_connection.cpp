// One connection of the scripted server: waits for the request, runs the reply's steps, and
// closes. Every wait polls the socket (so what the peer sends is recorded all along) and the
// server's stop descriptor (so stop cuts any step short).
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <functional>
#include <string_view>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/support/server_shared.h"

namespace qb::test::detail {
namespace {

using Clock = std::chrono::steady_clock;

constexpr Millis kNoProgressLimit{10000}; // a send that makes no progress this long fails
constexpr Millis kCloseLinger{2000};      // after our FIN, how long to wait for the peer's
constexpr size_t kReadChunk = 16384;

enum class Wake { Met, Deadline, Stopped, PeerGone, Released, Writable };
enum class Ending { Orderly, Reset };

int remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<Millis>(deadline - Clock::now()).count();
    return left <= 0 ? 0 : int(left);
}

// Whether the bytes from `from` on (looking back two bytes) complete an empty line.
bool headEndsIn(std::string_view received, size_t from) {
    const size_t start = from >= 2 ? from - 2 : 0;
    for (size_t lf = received.find('\n', start); lf != std::string_view::npos;
         lf = received.find('\n', lf + 1)) {
        if (lf + 1 < received.size() && received[lf + 1] == '\n') return true;
        if (lf + 2 < received.size() && received[lf + 1] == '\r' && received[lf + 2] == '\n') {
            return true;
        }
    }
    return false;
}

class Connection {
public:
    Connection(int fd, size_t index, ServerShared& shared)
        : fd_(fd), index_(index), shared_(shared) {}
    ~Connection() {
        if (fd_ >= 0) ::close(fd_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void run() {
        const std::optional<ScriptedAnswer> answer = shared_.answerFor(index_);
        if (!answer || answer->waitForHead) {
            waitUntil(kDefaultRequestWait, [this] { return headComplete_; });
        }
        Reply reply;
        if (answer && answer->responder && !stopped_) {
            try {
                reply = answer->responder(received_);
            } catch (...) {
                reply = Reply();
            }
        }
        for (const ReplyStep& step : reply.steps()) {
            if (stopped_ || !runStep(step)) break;
        }
        finish();
    }

private:
    bool runStep(const ReplyStep& step) {
        switch (step.kind) {
        case ReplyStep::Kind::Send:
            return sendBytes(step.bytes);
        case ReplyStep::Kind::SendPieces:
            for (size_t offset = 0; offset < step.bytes.size(); offset += step.count) {
                if (offset > 0 && !pauseFor(step.time)) return false;
                if (!sendBytes(std::string_view(step.bytes).substr(offset, step.count))) {
                    return false;
                }
            }
            return true;
        case ReplyStep::Kind::Pause:
            return pauseFor(step.time);
        case ReplyStep::Kind::Stall:
            return stall(step.time);
        case ReplyStep::Kind::WaitForBytes:
            return waitUntil(step.time, [this, &step] { return total_ >= step.count; });
        case ReplyStep::Kind::WaitForHead:
            return waitUntil(step.time, [this] { return headComplete_; });
        case ReplyStep::Kind::Close:
            ending_ = Ending::Orderly;
            return false;
        case ReplyStep::Kind::Reset:
            ending_ = Ending::Reset;
            return false;
        }
        return false;
    }

    // Waits for events until met() holds or a wake-up cause comes; records incoming bytes.
    Wake pump(Clock::time_point deadline, const std::function<bool()>& met, bool wantWrite,
              bool wantRelease, bool endOnPeerGone) {
        for (;;) {
            if (met && met()) return Wake::Met;
            if (peerGone_ && endOnPeerGone) return Wake::PeerGone;
            if (Clock::now() >= deadline) return Wake::Deadline;
            const short events = short((peerGone_ ? 0 : POLLIN) | (wantWrite ? POLLOUT : 0));
            pollfd fds[3] = {{shared_.stopFd, POLLIN, 0},
                             {events != 0 ? fd_ : -1, events, 0},
                             {wantRelease ? shared_.releaseFd : -1, POLLIN, 0}};
            const int n = ::poll(fds, 3, remainingMs(deadline));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 || fds[0].revents != 0) return Wake::Stopped;
            if ((fds[2].revents & POLLIN) != 0) {
                uint64_t one = 0;
                if (::read(shared_.releaseFd, &one, sizeof one) == ssize_t(sizeof one)) {
                    return Wake::Released;
                }
            }
            if (!peerGone_ && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
                readAvailable();
            }
            if (wantWrite && (fds[1].revents & (POLLOUT | POLLHUP | POLLERR)) != 0) {
                return Wake::Writable;
            }
        }
    }

    bool pauseFor(Millis time) {
        if (pump(Clock::now() + time, {}, false, false, false) != Wake::Stopped) return true;
        stopped_ = true;
        return false;
    }

    bool stall(Millis limit) {
        {
            std::lock_guard lock(shared_.mutex);
            ++shared_.stallsBegun;
        }
        shared_.changed.notify_all();
        if (pump(Clock::now() + limit, {}, false, true, true) != Wake::Stopped) return true;
        stopped_ = true;
        return false;
    }

    // A wait that runs out (or that the peer makes hopeless) is noted; the reply goes on.
    bool waitUntil(Millis limit, const std::function<bool()>& met) {
        const Wake wake = pump(Clock::now() + limit, met, false, false, true);
        if (wake == Wake::Stopped) {
            stopped_ = true;
            return false;
        }
        if (wake != Wake::Met) {
            shared_.update(index_, [](ConnectionRecord& r) { r.waitTimedOut = true; });
        }
        return true;
    }

    void readAvailable() {
        char chunk[kReadChunk];
        while (!peerGone_) {
            const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n > 0) {
                append(chunk, size_t(n));
            } else if (n == 0) {
                markPeerGone(false);
            } else if (errno == EINTR) {
                continue;
            } else if (errno == EAGAIN) {
                return;
            } else {
                markPeerGone(errno == ECONNRESET);
            }
        }
    }

    void append(const char* data, size_t length) {
        const size_t before = received_.size();
        const size_t kept = std::min(length, kMaxRecordedBytes - before);
        received_.append(data, kept);
        total_ += length;
        headComplete_ = headComplete_ || headEndsIn(received_, before);
        const bool head = headComplete_;
        shared_.update(index_, [&](ConnectionRecord& r) {
            r.received.append(data, kept);
            r.headComplete = head;
        });
    }

    void markPeerGone(bool reset) {
        peerGone_ = true;
        shared_.update(index_, [reset](ConnectionRecord& r) {
            r.peerClosed = true;
            r.peerReset = r.peerReset || reset;
        });
    }

    void answerBegins() {
        if (answered_) return;
        readAvailable();
        answered_ = true;
        shared_.update(index_, [this](ConnectionRecord& r) { r.request = received_; });
    }

    bool sendBytes(std::string_view bytes) {
        answerBegins();
        size_t done = 0;
        auto lastProgress = Clock::now();
        while (done < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n > 0) {
                done += size_t(n);
                lastProgress = Clock::now();
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN) {
                const Wake wake = pump(lastProgress + kNoProgressLimit, {}, true, false, false);
                if (wake == Wake::Writable) continue;
                if (wake == Wake::Stopped) {
                    stopped_ = true;
                    return false;
                }
            }
            shared_.update(index_, [](ConnectionRecord& r) { r.sendFailed = true; });
            return false;
        }
        return true;
    }

    void finish() {
        if (!answered_) {
            answered_ = true;
            shared_.update(index_, [this](ConnectionRecord& r) { r.request = received_; });
        }
        const auto markFinished = [this] {
            shared_.update(index_, [](ConnectionRecord& r) { r.finished = true; });
        };
        if (!stopped_ && ending_ == Ending::Reset) {
            const linger abort{1, 0};
            ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            ::close(fd_);
            markFinished();
        } else if (!stopped_) {
            // Unread bytes at close would turn the FIN into a reset that can destroy the
            // answer before the peer reads it: drain, send the FIN, and wait a while for the
            // peer to close its end.
            readAvailable();
            ::shutdown(fd_, SHUT_WR);
            markFinished();
            pump(
                Clock::now() + kCloseLinger, [this] { return peerGone_; }, false, false, true);
            ::close(fd_);
        } else {
            ::close(fd_);
            markFinished();
        }
        fd_ = -1;
        shared_.update(index_, [](ConnectionRecord& r) { r.closed = true; });
    }

    int fd_;
    size_t index_;
    ServerShared& shared_;
    std::string received_; // this thread's copy of the record's bytes
    size_t total_ = 0;     // bytes received, also those beyond kMaxRecordedBytes
    bool headComplete_ = false;
    bool peerGone_ = false;
    bool answered_ = false;
    bool stopped_ = false;
    Ending ending_ = Ending::Orderly;
};

} // namespace

void serveConnection(int fd, size_t index, ServerShared& shared) {
    try {
        Connection(fd, index, shared).run();
    } catch (...) {
        // Out of memory in a test helper: the connection is dropped, the test goes on.
        shared.update(index, [](ConnectionRecord& r) { r.finished = r.closed = true; });
    }
}

} // namespace qb::test::detail
