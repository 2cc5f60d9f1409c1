// socket, connect, send, recv, shutdown and closesocket: the Windows arguments are checked
// here, the calls themselves made by socket_core.
#include <climits>

#include <winsock.h>

#include "socket_core.h"
#include "wsa_errors.h"

using qb::winsock::Outcome;

namespace {

int fail(int wsaError) {
    WSASetLastError(wsaError);
    return SOCKET_ERROR;
}

// The outcome as a Winsock result: its value, or SOCKET_ERROR with the last error set.
int finish(const Outcome& outcome) {
    if (outcome.error != 0) return fail(qb::winsock::wsaErrorFor(outcome.error));
    return int(outcome.value);
}

// Calls that need the library fail first for that, as on Windows.
bool started() {
    if (qb::winsock::initialised()) return true;
    WSASetLastError(WSANOTINITIALISED);
    return false;
}

} // namespace

SOCKET WSAAPI socket(int af, int type, int protocol) {
    if (!started()) return INVALID_SOCKET;
    if (af != AF_INET) {
        WSASetLastError(WSAEAFNOSUPPORT);
        return INVALID_SOCKET;
    }
    if (type != SOCK_STREAM && type != SOCK_DGRAM) {
        WSASetLastError(WSAESOCKTNOSUPPORT);
        return INVALID_SOCKET;
    }
    const Outcome created = qb::winsock::createSocket(af, type, protocol);
    if (created.error != 0) {
        WSASetLastError(qb::winsock::wsaErrorFor(created.error));
        return INVALID_SOCKET;
    }
    return SOCKET(created.value);
}

int WSAAPI connect(SOCKET s, const struct sockaddr* name, int namelen) {
    if (!started()) return SOCKET_ERROR;
    if (name == nullptr || namelen < int(sizeof(sockaddr_in))) return fail(WSAEFAULT);
    const auto* remote = reinterpret_cast<const sockaddr_in*>(name);
    if (remote->sin_family != AF_INET) return fail(WSAEAFNOSUPPORT);
    return finish(qb::winsock::connectIPv4(s, remote->sin_addr.s_addr, remote->sin_port));
}

int WSAAPI send(SOCKET s, const char* buf, int len, int flags) {
    if (!started()) return SOCKET_ERROR;
    if (flags != 0) return fail(WSAEOPNOTSUPP);
    if (len < 0 || (buf == nullptr && len > 0)) return fail(WSAEFAULT);
    return finish(qb::winsock::sendAll(s, buf, size_t(len)));
}

int WSAAPI recv(SOCKET s, char* buf, int len, int flags) {
    if (!started()) return SOCKET_ERROR;
    if (flags != 0 && flags != MSG_PEEK) return fail(WSAEOPNOTSUPP);
    if (len < 0 || (buf == nullptr && len > 0)) return fail(WSAEFAULT);
    return finish(qb::winsock::receive(s, buf, size_t(len), flags == MSG_PEEK));
}

int WSAAPI shutdown(SOCKET s, int how) {
    if (!started()) return SOCKET_ERROR;
    if (how != SD_RECEIVE && how != SD_SEND && how != SD_BOTH) return fail(WSAEINVAL);
    return finish(qb::winsock::shutdownSocket(s, how));
}

int WSAAPI closesocket(SOCKET s) {
    if (!started()) return SOCKET_ERROR;
    return finish(qb::winsock::closeSocket(s));
}
