// Winsock 2 calls whose implementation has not landed yet: each fails cleanly.
#include <sslsock.h>
#include <ws2tcpip.h>

namespace {

int fail(int wsaError) {
    WSASetLastError(wsaError);
    return SOCKET_ERROR;
}

} // namespace

int WSAAPI setsockopt(SOCKET, int, int, const char*, int) {
    return fail(WSAENOPROTOOPT);
}

int WSAAPI getsockopt(SOCKET, int, int, char*, int*) {
    return fail(WSAENOPROTOOPT);
}

int WSAAPI ioctlsocket(SOCKET, LONG, ULONG*) {
    return fail(WSAEOPNOTSUPP);
}

int WSAAPI WinsockSelect(int, fd_set*, fd_set*, fd_set*, const struct timeval*) {
    return fail(WSAEOPNOTSUPP);
}

int WSAAPI WSAIoctl(SOCKET, DWORD, LPVOID, DWORD, LPVOID, DWORD, LPDWORD, LPWSAOVERLAPPED,
                    LPWSAOVERLAPPED_COMPLETION_ROUTINE) {
    return fail(WSAEOPNOTSUPP);
}

int WSAAPI getaddrinfo(const char*, const char*, const struct addrinfo*, struct addrinfo** out) {
    if (out != nullptr) *out = nullptr;
    WSASetLastError(EAI_FAIL);
    return EAI_FAIL;
}

void WSAAPI freeaddrinfo(struct addrinfo*) {}
