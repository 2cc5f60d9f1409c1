// errno and resolver outcomes as the WSA codes Windows reports for the same conditions.
#include "platform/winsock/wsa_errors.h"

#include <cerrno>

#include <winsock.h>

namespace qb::winsock {

int WsaErrorFor(int error) {
    switch (error) {
    case kErrNotInitialised:
        return WSANOTINITIALISED;
    case kErrCertificateRefused:
        return WSAEACCES;
    case kErrHandshakeFailed:
        return WSAECONNABORTED;
    case EINTR:
        return WSAEINTR;
    case EBADF:
    case ENOTSOCK:
        return WSAENOTSOCK;
    case EACCES:
    case EPERM:
        return WSAEACCES;
    case EFAULT:
        return WSAEFAULT;
    case EINVAL:
        return WSAEINVAL;
    case EMFILE:
    case ENFILE:
        return WSAEMFILE;
    case EAGAIN:
        return WSAEWOULDBLOCK;
    case EINPROGRESS:
        return WSAEINPROGRESS;
    case EALREADY:
        return WSAEALREADY;
    case EDESTADDRREQ:
        return WSAEDESTADDRREQ;
    case EMSGSIZE:
        return WSAEMSGSIZE;
    case EPROTOTYPE:
        return WSAEPROTOTYPE;
    case ENOPROTOOPT:
        return WSAENOPROTOOPT;
    case EPROTONOSUPPORT:
        return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT:
        return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP:
        return WSAEOPNOTSUPP;
    case EPFNOSUPPORT:
        return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT:
        return WSAEAFNOSUPPORT;
    case EADDRINUSE:
        return WSAEADDRINUSE;
    case EADDRNOTAVAIL:
        return WSAEADDRNOTAVAIL;
    case ENETDOWN:
        return WSAENETDOWN;
    case ENETUNREACH:
        return WSAENETUNREACH;
    case ENETRESET:
        return WSAENETRESET;
    case ECONNABORTED:
        return WSAECONNABORTED;
    case ECONNRESET:
    case EPIPE:
        return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM:
        return WSAENOBUFS;
    case EISCONN:
        return WSAEISCONN;
    case ENOTCONN:
        return WSAENOTCONN;
    case ESHUTDOWN:
        return WSAESHUTDOWN;
    case ETIMEDOUT:
        return WSAETIMEDOUT;
    case ECONNREFUSED:
        return WSAECONNREFUSED;
    case EHOSTDOWN:
        return WSAEHOSTDOWN;
    case EHOSTUNREACH:
        return WSAEHOSTUNREACH;
    default:
        return WSAEINVAL;
    }
}

int WsaErrorFor(Lookup lookup) {
    switch (lookup) {
    case Lookup::Found:
        return 0;
    case Lookup::NotFound:
        return WSAHOST_NOT_FOUND;
    case Lookup::NoData:
        return WSANO_DATA;
    case Lookup::TryAgain:
        return WSATRY_AGAIN;
    case Lookup::Failed:
        break;
    }
    return WSANO_RECOVERY;
}

int Fail(int wsaError) {
    WSASetLastError(wsaError);
    return SOCKET_ERROR;
}

int Finish(const Outcome& outcome) {
    if (outcome.error != 0) return Fail(WsaErrorFor(outcome.error));
    return int(outcome.value);
}

bool Started() {
    if (Initialised()) return true;
    WSASetLastError(WSANOTINITIALISED);
    return false;
}

} // namespace qb::winsock
