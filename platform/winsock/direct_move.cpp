// qb::MoveSocketToFile (qb/direct_move.h): the socket's bytes go into a pipe of the calling
// thread (socket_core's SpliceToPipe) and from there into the file (the kernel's
// SpliceIntoFile), one pipe's worth at most per step.
#include "qb/direct_move.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "platform/kernel/file_splice.h"
#include "platform/winsock/socket_core.h"
#include "platform/winsock/wsa_errors.h"

namespace {

// The calling thread's pipe, made at its first step and closed at its end. A pipe that a
// failed write left bytes in is closed at once: its bytes belong to no later step.
class ThreadPipe {
public:
    ThreadPipe() = default;
    ThreadPipe(const ThreadPipe&) = delete;
    ThreadPipe& operator=(const ThreadPipe&) = delete;
    ~ThreadPipe() { Drop(); }

    bool Ready() {
        if (ends_[0] >= 0) return true;
        if (pipe2(ends_, O_CLOEXEC) == 0) return true;
        ends_[0] = ends_[1] = -1;
        return false;
    }
    int In() const { return ends_[1]; }
    int Out() const { return ends_[0]; }
    void Drop() {
        if (ends_[0] < 0) return;
        close(ends_[0]);
        close(ends_[1]);
        ends_[0] = ends_[1] = -1;
    }

private:
    int ends_[2] = {-1, -1};
};

thread_local ThreadPipe tPipe;

} // namespace

namespace qb {

int MoveSocketToFile(SOCKET socket, HANDLE file, DWORD capacity, DWORD* moved) {
    if (moved == nullptr) return kMoveUnavailable;
    *moved = 0;
    if (!qb::winsock::Started()) return -1;
    if (capacity == 0) return kMoveUnavailable;
    if (!qb::kernel::AcceptsSplice(file) || !tPipe.Ready()) return kMoveUnavailable;
    const size_t wanted = capacity < kMovePieceBytes ? capacity : kMovePieceBytes;
    const qb::winsock::Outcome got = qb::winsock::SpliceToPipe(socket, tPipe.In(), wanted);
    if (got.error == qb::winsock::kErrNotDirect) return kMoveUnavailable;
    if (got.error != 0) {
        WSASetLastError(qb::winsock::WsaErrorFor(got.error));
        return -1;
    }
    if (got.value == 0) return 1; // the peer's orderly end
    size_t written = 0;
    const BOOL stored = qb::kernel::SpliceIntoFile(file, tPipe.Out(), size_t(got.value), &written);
    *moved = static_cast<DWORD>(written);
    if (!stored) {
        tPipe.Drop();
        return kMoveFileFailed;
    }
    return 1;
}

} // namespace qb
