#include "transport/Socket.h"

#include "base/Results.h"
#include "qb/direct_move.h"

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

void CloseHandleNow(SOCKET handle) {
    shutdown(handle, SD_BOTH);
    closesocket(handle);
}

} // namespace

Socket::Socket(int type) : type_(type), handle_(INVALID_SOCKET) {
    InitializeCriticalSection(&handleLock_);
    CountedStartup();
}

Socket::~Socket() {
    Close();
    CountedCleanup();
    DeleteCriticalSection(&handleLock_);
}

LONG Socket::StartupCount() {
    StartupState& state = Startup();
    EnterCriticalSection(&state.lock);
    const LONG count = state.count;
    LeaveCriticalSection(&state.lock);
    return count;
}

int Socket::Fail(int* error) {
    if (error != nullptr) *error = WSAGetLastError();
    return kResultFail;
}

int Socket::SetUpSecure(SOCKET handle, const SecureSetup& secure) {
    const DWORD mode = SO_SEC_SSL;
    if (setsockopt(handle, SOL_SOCKET, SO_SECURE, reinterpret_cast<const char*>(&mode),
                   sizeof mode) != 0) {
        return kResultFail;
    }
    SSLVALIDATECERTHOOK hook = secure.hook;
    DWORD returned = 0;
    if (WSAIoctl(handle, SO_SSL_SET_VALIDATE_CERT_HOOK, &hook, sizeof hook, nullptr, 0, &returned,
                 nullptr, nullptr) != 0) {
        return kResultFail;
    }
    DWORD nameLength = 0;
    while (secure.peerName[nameLength] != 0) ++nameLength;
    if (WSAIoctl(handle, SO_SSL_SET_PEERNAME, const_cast<LPSTR>(secure.peerName), nameLength + 1,
                 nullptr, 0, &returned, nullptr, nullptr) != 0) {
        return kResultFail;
    }
    if (!secure.deferred) return kResultOk;
    DWORD flags = SSL_FLAG_DEFER_HANDSHAKE;
    return WSAIoctl(handle, SO_SSL_SET_FLAGS, &flags, sizeof flags, nullptr, 0, &returned, nullptr,
                    nullptr) == 0
               ? kResultOk
               : kResultFail;
}

int Socket::SetTimeout(DWORD milliseconds) {
    timeoutMs_ = milliseconds;
    const SOCKET handle = handle_.load();
    return handle == INVALID_SOCKET ? kResultOk : ApplyTimeout(handle);
}

int Socket::ApplyTimeout(SOCKET handle) {
    const char* value = reinterpret_cast<const char*>(&timeoutMs_);
    const bool set = setsockopt(handle, SOL_SOCKET, SO_RCVTIMEO, value, sizeof timeoutMs_) == 0 &&
                     setsockopt(handle, SOL_SOCKET, SO_SNDTIMEO, value, sizeof timeoutMs_) == 0;
    return set ? kResultOk : kResultFail;
}

int Socket::ConnectWithin(SOCKET handle, const sockaddr* address, int length, bool handshake) {
    // Non-blocking while connecting, so that select can bound the wait; a shutdown from
    // another thread ends it at once. The handshake then runs blocking, bounded by the
    // socket's timeouts.
    ULONG nonBlocking = 1;
    if (ioctlsocket(handle, FIONBIO, &nonBlocking) != 0) return kResultFail;
    bool connected = connect(handle, address, length) == 0;
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
        const int ready = select(0, nullptr, &writable, &failed, &limit);
        connected = ready > 0 && FD_ISSET(handle, &writable) && !FD_ISSET(handle, &failed);
        if (ready == 0) WSASetLastError(WSAETIMEDOUT);
    }
    ULONG blocking = 0;
    if (ioctlsocket(handle, FIONBIO, &blocking) != 0 || !connected) return kResultFail;
    if (!handshake) return kResultOk;
    DWORD returned = 0;
    return WSAIoctl(handle, SO_SSL_PERFORM_HANDSHAKE, nullptr, 0, nullptr, 0, &returned, nullptr,
                    nullptr) == 0
               ? kResultOk
               : kResultFail;
}

int Socket::Connect(const sockaddr* address, int length, const SecureSetup* secure, int* error) {
    if (error != nullptr) *error = 0;
    if (address == nullptr) return kResultNullArgument;
    if (HasHandle()) Close();
    const SOCKET handle = socket(address->sa_family, type_, 0);
    if (handle == INVALID_SOCKET) return Fail(error);
    // A Shutdown that came before the handle was published must still stop this connect;
    // one that comes after it finds the handle and shuts it down.
    EnterCriticalSection(&handleLock_);
    handle_.store(handle);
    const bool shutDown = shutDown_.load();
    LeaveCriticalSection(&handleLock_);
    if (shutDown) {
        if (error != nullptr) *error = WSAESHUTDOWN;
        Close();
        return kResultFail;
    }
    const bool bounded = timeoutMs_ != 0;
    const bool handshake = secure != nullptr && !secure->deferred;
    if ((bounded && ApplyTimeout(handle) != kResultOk) ||
        (secure != nullptr && SetUpSecure(handle, *secure) != kResultOk) ||
        (bounded ? ConnectWithin(handle, address, length, handshake) != kResultOk
                 : connect(handle, address, length) != 0)) {
        const int result = Fail(error);
        Close(); // the next address gets a fresh handle
        return result;
    }
    return kResultOk;
}

int Socket::PerformHandshake(int* error) {
    if (error != nullptr) *error = 0;
    const SOCKET handle = handle_.load();
    if (handle == INVALID_SOCKET) return kResultFail;
    DWORD returned = 0;
    if (WSAIoctl(handle, SO_SSL_PERFORM_HANDSHAKE, nullptr, 0, nullptr, 0, &returned, nullptr,
                 nullptr) != 0) {
        return Fail(error);
    }
    return kResultOk;
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

int Socket::MoveToFile(HANDLE file, DWORD capacity, DWORD* moved) {
    if (moved == nullptr) return kResultNullArgument;
    *moved = 0;
    const SOCKET handle = handle_.load();
    if (handle == INVALID_SOCKET) return kResultFail;
    const int result = qb::MoveSocketToFile(handle, file, capacity, moved);
    if (result == qb::kMoveUnavailable) return kSocketMoveUnavailable;
    if (result == qb::kMoveFileFailed) return kSocketMoveFileFailed;
    return result > 0 ? kResultOk : kResultFail;
}

int Socket::Shutdown() {
    // Under the lock, so the handle is not closed (and its number given to another socket)
    // between reading it and shutting it down.
    EnterCriticalSection(&handleLock_);
    shutDown_.store(true);
    const SOCKET handle = handle_.load();
    const int result = handle == INVALID_SOCKET         ? kResultFail
                       : shutdown(handle, SD_BOTH) == 0 ? kResultOk
                                                        : kResultFail;
    LeaveCriticalSection(&handleLock_);
    return result;
}

int Socket::Close() {
    // Taking the handle first means two closing threads never close it twice.
    EnterCriticalSection(&handleLock_);
    const SOCKET handle = handle_.exchange(INVALID_SOCKET);
    if (handle != INVALID_SOCKET) CloseHandleNow(handle);
    LeaveCriticalSection(&handleLock_);
    return kResultOk;
}
