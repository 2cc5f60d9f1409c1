#include "transport/Socket.h"

#include "base/Results.h"

namespace {

constexpr WORD kWinsockVersion11 = 0x0101;

// The start-up count and the lock that makes each update of it, together with the platform
// call it decides on, indivisible. Made on first use; lives to the end of the process.
struct StartupState {
    CRITICAL_SECTION lock;
    LONG count = 0;
    StartupState() { InitializeCriticalSection(&lock); }
};

StartupState& Startup() {
    static StartupState state;
    return state;
}

void CountedStartup() {
    StartupState& state = Startup();
    EnterCriticalSection(&state.lock);
    if (state.count > 0) {
        ++state.count;
    } else {
        WSADATA data;
        WSAStartup(kWinsockVersion11, &data); // a failure shows at the first socket call
        state.count = 1;
    }
    LeaveCriticalSection(&state.lock);
}

void CountedCleanup() {
    StartupState& state = Startup();
    EnterCriticalSection(&state.lock);
    --state.count;
    if (state.count <= 0) {
        WSACleanup();
        state.count = 0;
    }
    LeaveCriticalSection(&state.lock);
}

// Byte counts cross the platform calls as int; a larger count is asked for in part.
constexpr DWORD kLargestPlatformCount = 0x7FFFFFFF;

int PlatformLength(DWORD length) {
    return static_cast<int>(length > kLargestPlatformCount ? kLargestPlatformCount : length);
}

} // namespace

Socket::Socket(int type) : handle_(INVALID_SOCKET) {
    CountedStartup();
    handle_.store(socket(AF_INET, type, 0));
}

Socket::~Socket() {
    Close();
    CountedCleanup();
}

LONG Socket::StartupCount() {
    StartupState& state = Startup();
    EnterCriticalSection(&state.lock);
    const LONG count = state.count;
    LeaveCriticalSection(&state.lock);
    return count;
}

int Socket::SetTimeout(DWORD milliseconds) {
    const SOCKET handle = handle_.load();
    if (handle == INVALID_SOCKET) return kResultFail;
    timeoutMs_ = milliseconds;
    const char* value = reinterpret_cast<const char*>(&milliseconds);
    const bool set = setsockopt(handle, SOL_SOCKET, SO_RCVTIMEO, value, sizeof milliseconds) == 0 &&
                     setsockopt(handle, SOL_SOCKET, SO_SNDTIMEO, value, sizeof milliseconds) == 0;
    return set ? kResultOk : kResultFail;
}

int Socket::Connect(const sockaddr_in* remote) {
    const SOCKET handle = handle_.load();
    if (handle == INVALID_SOCKET || remote == nullptr) return kResultFail;
    if (timeoutMs_ != 0) return ConnectWithin(handle, remote);
    const int result =
        connect(handle, reinterpret_cast<const sockaddr*>(remote), sizeof(sockaddr_in));
    return result == 0 ? kResultOk : kResultFail;
}

int Socket::ConnectWithin(SOCKET handle, const sockaddr_in* remote) {
    // Non-blocking while connecting, so that select can bound the wait; a shutdown from
    // another thread ends it at once.
    ULONG nonBlocking = 1;
    if (ioctlsocket(handle, FIONBIO, &nonBlocking) != 0) return kResultFail;
    bool connected =
        connect(handle, reinterpret_cast<const sockaddr*>(remote), sizeof(sockaddr_in)) == 0;
    if (!connected && WSAGetLastError() == WSAEWOULDBLOCK) {
        fd_set writable;
        fd_set failed;
        FD_ZERO(&writable);
        FD_SET(handle, &writable);
        FD_ZERO(&failed);
        FD_SET(handle, &failed);
        timeval limit{};
        limit.tv_sec = static_cast<long>(timeoutMs_ / 1000);
        limit.tv_usec = static_cast<long>(timeoutMs_ % 1000) * 1000;
        connected = select(0, nullptr, &writable, &failed, &limit) > 0 &&
                    FD_ISSET(handle, &writable) && !FD_ISSET(handle, &failed);
    }
    ULONG blocking = 0;
    if (ioctlsocket(handle, FIONBIO, &blocking) != 0) return kResultFail;
    return connected ? kResultOk : kResultFail;
}

int Socket::Send(const void* data, DWORD length, DWORD* sent) {
    if (sent != nullptr) *sent = 0;
    const SOCKET handle = handle_.load();
    if (handle == INVALID_SOCKET) return kResultFail;
    const int result = send(handle, static_cast<const char*>(data), PlatformLength(length), 0);
    if (result == SOCKET_ERROR || result < 0) return kResultFail;
    if (sent != nullptr) *sent = static_cast<DWORD>(result);
    return kResultOk;
}

int Socket::Receive(void* buffer, DWORD capacity, DWORD* received) {
    if (received == nullptr) return kResultNullArgument;
    *received = 0;
    const SOCKET handle = handle_.load();
    if (handle == INVALID_SOCKET) return kResultFail;
    const int result = recv(handle, static_cast<char*>(buffer), PlatformLength(capacity), 0);
    if (result == SOCKET_ERROR || result < 0) return kResultFail;
    *received = static_cast<DWORD>(result);
    return kResultOk;
}

int Socket::Shutdown() {
    const SOCKET handle = handle_.load();
    if (handle == INVALID_SOCKET) return kResultFail;
    return shutdown(handle, SD_BOTH) == 0 ? kResultOk : kResultFail;
}

int Socket::Close() {
    // Taking the handle first means two closing threads never close it twice.
    const SOCKET handle = handle_.exchange(INVALID_SOCKET);
    if (handle != INVALID_SOCKET) {
        shutdown(handle, SD_BOTH);
        closesocket(handle);
    }
    return kResultOk;
}
