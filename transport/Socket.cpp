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

int Socket::Connect(const sockaddr_in* remote) {
    const SOCKET handle = handle_.load();
    if (handle == INVALID_SOCKET || remote == nullptr) return kResultFail;
    const int result =
        connect(handle, reinterpret_cast<const sockaddr*>(remote), sizeof(sockaddr_in));
    return result == 0 ? kResultOk : kResultFail;
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
