// WSAStartup and WSACleanup.
#include <cstring>

#include <winsock.h>

#include "platform/winsock/socket_core.h"

namespace {

constexpr WORD kVersion11 = 0x0101; // major in the low byte, minor in the high byte
// What Windows reports to a 1.1 caller.
constexpr unsigned short kMaxSockets = 32767;
constexpr unsigned short kMaxUdpDatagram = 65467;
constexpr const char kDescription[] = "WinSock 1.1 over BSD sockets";
constexpr const char kSystemStatus[] = "Running";

// Versions compare major first; the word keeps the major in its low byte.
int VersionRank(WORD version) {
    return (version & 0xff) * 256 + (version >> 8);
}

} // namespace

int WSAAPI WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData) {
    if (lpWSAData == nullptr) return WSAEFAULT;
    if ((wVersionRequested & 0xff) < 1) return WSAVERNOTSUPPORTED;
    std::memset(lpWSAData, 0, sizeof *lpWSAData);
    lpWSAData->wVersion =
        VersionRank(wVersionRequested) < VersionRank(kVersion11) ? wVersionRequested : kVersion11;
    lpWSAData->wHighVersion = kVersion11;
    lpWSAData->iMaxSockets = kMaxSockets;
    lpWSAData->iMaxUdpDg = kMaxUdpDatagram;
    static_assert(sizeof kDescription <= sizeof lpWSAData->szDescription);
    static_assert(sizeof kSystemStatus <= sizeof lpWSAData->szSystemStatus);
    std::memcpy(lpWSAData->szDescription, kDescription, sizeof kDescription);
    std::memcpy(lpWSAData->szSystemStatus, kSystemStatus, sizeof kSystemStatus);
    qb::winsock::Startup();
    return 0;
}

int WSAAPI WSACleanup(void) {
    if (qb::winsock::Cleanup()) return 0;
    WSASetLastError(WSANOTINITIALISED);
    return SOCKET_ERROR;
}
