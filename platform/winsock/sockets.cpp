// socket, connect, send, recv, shutdown and closesocket: the Windows arguments are checked
// here, the calls themselves made by socket_core.
#include <climits>
#include <cstring>

#include <ws2tcpip.h>

#include "platform/winsock/socket_core.h"
#include "platform/winsock/wsa_errors.h"

using qb::winsock::Outcome;

using qb::winsock::Fail;
using qb::winsock::Finish;
using qb::winsock::Started;

SOCKET WSAAPI socket(int af, int type, int protocol) {
    if (!Started()) return INVALID_SOCKET;
    if (af != AF_INET && af != AF_INET6) {
        WSASetLastError(WSAEAFNOSUPPORT);
        return INVALID_SOCKET;
    }
    if (type != SOCK_STREAM && type != SOCK_DGRAM) {
        WSASetLastError(WSAESOCKTNOSUPPORT);
        return INVALID_SOCKET;
    }
    const Outcome created = qb::winsock::CreateSocket(af == AF_INET6 ? 6 : 4, type, protocol);
    if (created.error != 0) {
        WSASetLastError(qb::winsock::WsaErrorFor(created.error));
        return INVALID_SOCKET;
    }
    return SOCKET(created.value);
}

int WSAAPI connect(SOCKET s, const struct sockaddr* name, int namelen) {
    if (!Started()) return SOCKET_ERROR;
    if (name == nullptr || namelen < int(sizeof(sockaddr_in))) return Fail(WSAEFAULT);
    qb::winsock::Remote remote;
    if (name->sa_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(name);
        remote.family = 4;
        remote.port = v4->sin_port;
        std::memcpy(remote.address, &v4->sin_addr, sizeof v4->sin_addr);
    } else if (name->sa_family == AF_INET6) {
        if (namelen < int(sizeof(sockaddr_in6))) return Fail(WSAEFAULT);
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(name);
        remote.family = 6;
        remote.port = v6->sin6_port;
        remote.flowInfo = v6->sin6_flowinfo;
        remote.scopeId = v6->sin6_scope_id;
        std::memcpy(remote.address, &v6->sin6_addr, sizeof v6->sin6_addr);
    } else {
        return Fail(WSAEAFNOSUPPORT);
    }
    return Finish(qb::winsock::Connect(s, remote));
}

int WSAAPI send(SOCKET s, const char* buf, int len, int flags) {
    if (!Started()) return SOCKET_ERROR;
    if (flags != 0) return Fail(WSAEOPNOTSUPP);
    if (len < 0 || (buf == nullptr && len > 0)) return Fail(WSAEFAULT);
    return Finish(qb::winsock::SendAll(s, buf, size_t(len)));
}

int WSAAPI recv(SOCKET s, char* buf, int len, int flags) {
    if (!Started()) return SOCKET_ERROR;
    if (flags != 0 && flags != MSG_PEEK) return Fail(WSAEOPNOTSUPP);
    if (len < 0 || (buf == nullptr && len > 0)) return Fail(WSAEFAULT);
    return Finish(qb::winsock::Receive(s, buf, size_t(len), flags == MSG_PEEK));
}

int WSAAPI shutdown(SOCKET s, int how) {
    if (!Started()) return SOCKET_ERROR;
    if (how != SD_RECEIVE && how != SD_SEND && how != SD_BOTH) return Fail(WSAEINVAL);
    return Finish(qb::winsock::ShutdownSocket(s, how));
}

int WSAAPI closesocket(SOCKET s) {
    if (!Started()) return SOCKET_ERROR;
    return Finish(qb::winsock::CloseSocket(s));
}
