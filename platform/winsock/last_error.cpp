// The calling thread's last Winsock error: the bottom of the layer, used by every call.
#include <winsock.h>

namespace {

thread_local int tLastError = 0;

} // namespace

int WSAAPI WSAGetLastError(void) {
    return tLastError;
}

void WSAAPI WSASetLastError(int iError) {
    tLastError = iError;
}
