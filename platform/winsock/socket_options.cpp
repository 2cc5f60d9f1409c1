// setsockopt, getsockopt, ioctlsocket and select.
#include <climits>
#include <cstring>
#include <initializer_list>

#include <sslsock.h>

#include "platform/winsock/socket_core.h"
#include "platform/winsock/wsa_errors.h"

using qb::winsock::Direction;
using qb::winsock::Fail;
using qb::winsock::Finish;
using qb::winsock::Outcome;
using qb::winsock::Started;

namespace {

bool ReadDword(const char* optval, int optlen, DWORD& value) {
    if (optval == nullptr || optlen < int(sizeof(DWORD))) return false;
    std::memcpy(&value, optval, sizeof value);
    return true;
}

// A set of select's as watches, appended; false when a set is too large.
bool AddWatches(fd_set* set, int which, qb::winsock::Watch* watches, size_t& count) {
    if (set == nullptr) return true;
    for (int fd = 0; fd < FD_SETSIZE; ++fd) {
        if (!FD_ISSET(fd, set)) continue;
        size_t i = 0;
        while (i < count && watches[i].socket != SOCKET(fd)) ++i;
        if (i == count) {
            if (count == FD_SETSIZE) return false;
            watches[count++] = qb::winsock::Watch{SOCKET(fd)};
        }
        (which == 0 ? watches[i].read : which == 1 ? watches[i].write : watches[i].except) = true;
    }
    return true;
}

} // namespace

int WSAAPI setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
    if (!Started()) return SOCKET_ERROR;
    if (level != SOL_SOCKET) return Fail(WSAENOPROTOOPT);
    DWORD value = 0;
    switch (optname) {
    case SO_RCVTIMEO:
    case SO_SNDTIMEO:
        if (!ReadDword(optval, optlen, value)) return Fail(WSAEFAULT);
        return Finish(qb::winsock::SetTimeout(
            s, optname == SO_RCVTIMEO ? Direction::Receive : Direction::Send, value));
    case SO_SECURE:
        if (!ReadDword(optval, optlen, value)) return Fail(WSAEFAULT);
        if (value != SO_SEC_SSL) return Fail(WSAEINVAL);
        return Finish(qb::winsock::MakeSecure(s));
    default:
        return Fail(WSAENOPROTOOPT);
    }
}

int WSAAPI getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen) {
    if (!Started()) return SOCKET_ERROR;
    if (level != SOL_SOCKET) return Fail(WSAENOPROTOOPT);
    if (optval == nullptr || optlen == nullptr || *optlen < int(sizeof(DWORD)))
        return Fail(WSAEFAULT);
    Outcome got;
    switch (optname) {
    case SO_RCVTIMEO:
        got = qb::winsock::GetTimeout(s, Direction::Receive);
        break;
    case SO_SNDTIMEO:
        got = qb::winsock::GetTimeout(s, Direction::Send);
        break;
    case SO_ERROR:
        got = qb::winsock::TakePendingError(s);
        if (got.error == 0 && got.value != 0) got.value = qb::winsock::WsaErrorFor(int(got.value));
        break;
    default:
        return Fail(WSAENOPROTOOPT);
    }
    if (got.error != 0) return Finish(got);
    const DWORD value = DWORD(got.value);
    std::memcpy(optval, &value, sizeof value);
    *optlen = sizeof value;
    return 0;
}

int WSAAPI ioctlsocket(SOCKET s, LONG cmd, ULONG* argp) {
    if (!Started()) return SOCKET_ERROR;
    if (argp == nullptr) return Fail(WSAEFAULT);
    if (static_cast<ULONG>(cmd) != FIONBIO) return Fail(WSAEINVAL); // commands are unsigned
    return Finish(qb::winsock::SetNonBlocking(s, *argp != 0));
}

int WSAAPI WinsockSelect(int, fd_set* readfds, fd_set* writefds, fd_set* exceptfds,
                         const struct timeval* timeout) {
    if (!Started()) return SOCKET_ERROR;
    static thread_local qb::winsock::Watch watches[FD_SETSIZE];
    size_t count = 0;
    if (!AddWatches(readfds, 0, watches, count) || !AddWatches(writefds, 1, watches, count) ||
        !AddWatches(exceptfds, 2, watches, count)) {
        return Fail(WSAEINVAL);
    }
    if (count == 0) return Fail(WSAEINVAL); // as on Windows: nothing to wait for
    int limit = -1;
    if (timeout != nullptr) {
        if (timeout->tv_sec < 0 || timeout->tv_usec < 0) return Fail(WSAEINVAL);
        const long long ms = (long long)timeout->tv_sec * 1000 + (timeout->tv_usec + 999) / 1000;
        limit = int(ms > INT_MAX ? INT_MAX : ms);
    }
    const Outcome waited = qb::winsock::Wait(watches, count, limit);
    if (waited.error != 0) return Finish(waited);
    for (fd_set* set : {readfds, writefds, exceptfds}) {
        if (set != nullptr) FD_ZERO(set);
    }
    for (size_t i = 0; i < count; ++i) {
        const int fd = int(watches[i].socket);
        if (watches[i].readable) FD_SET(fd, readfds);
        if (watches[i].writable) FD_SET(fd, writefds);
        if (watches[i].failed) FD_SET(fd, exceptfds);
    }
    return int(waited.value);
}
