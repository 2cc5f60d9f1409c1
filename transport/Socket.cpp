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
    for (SOCKET& attempt : attempts_) attempt = INVALID_SOCKET;
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

bool Socket::ShutDownAttempts() {
    bool any = false;
    for (SOCKET attempt : attempts_) {
        if (attempt != INVALID_SOCKET) any = shutdown(attempt, SD_BOTH) == 0 || any;
    }
    return any;
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

// The connections of one Connect under way: slot i of attempts_ connects to address index[i].
// Owner thread only.
struct Socket::Race {
    size_t index[kSocketMaxAddresses] = {};
    size_t count = 0;  // slots in use: 0 .. count-1
    int lastError = 0; // the platform's code for the last attempt that failed
};

namespace {

// What StartAttempt did.
enum class Attempt {
    kPending,   // under way, in the race's last slot
    kConnected, // connected at once, in the race's last slot
    kFailed,    // refused at once; the race goes on
    kStopped,   // shut down, or the platform refused the set-up (it would for every address)
};

// What a wait of the race saw.
enum class Waited { kConnected, kTimeUp, kSomeFailed, kBroken };

} // namespace

int Socket::StartAttempt(Race& race, const SocketAddress& address, size_t index,
                         const SecureSetup* secure) {
    const SOCKET handle = socket(address.address->sa_family, type_, 0);
    if (handle == INVALID_SOCKET) {
        race.lastError = WSAGetLastError();
        return static_cast<int>(Attempt::kFailed);
    }
    // A Shutdown that came before the attempt was published must still stop the race; one
    // that comes after it finds the attempt and shuts it down.
    EnterCriticalSection(&handleLock_);
    const bool shutDown = shutDown_.load();
    if (!shutDown) attempts_[race.count] = handle;
    LeaveCriticalSection(&handleLock_);
    if (shutDown) {
        closesocket(handle);
        race.lastError = WSAESHUTDOWN;
        return static_cast<int>(Attempt::kStopped);
    }
    const size_t slot = race.count++;
    race.index[slot] = index;
    // Non-blocking while connecting, so that one select waits for every attempt; the one
    // kept goes back to blocking.
    ULONG nonBlocking = 1;
    if ((timeoutMs_ != 0 && ApplyTimeout(handle) != kResultOk) ||
        (secure != nullptr && SetUpSecure(handle, *secure) != kResultOk) ||
        ioctlsocket(handle, FIONBIO, &nonBlocking) != 0) {
        race.lastError = WSAGetLastError();
        EndAttempt(race, slot);
        return static_cast<int>(Attempt::kStopped);
    }
    if (connect(handle, address.address, address.length) == 0) {
        return static_cast<int>(Attempt::kConnected);
    }
    const int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) return static_cast<int>(Attempt::kPending);
    race.lastError = error;
    EndAttempt(race, slot);
    return static_cast<int>(error == WSAESHUTDOWN ? Attempt::kStopped : Attempt::kFailed);
}

void Socket::EndAttempt(Race& race, size_t slot) {
    EnterCriticalSection(&handleLock_);
    const SOCKET handle = attempts_[slot];
    --race.count;
    attempts_[slot] = attempts_[race.count];
    race.index[slot] = race.index[race.count];
    attempts_[race.count] = INVALID_SOCKET;
    LeaveCriticalSection(&handleLock_);
    closesocket(handle);
}

// Waits up to waitMs (INFINITE: without a bound) for the attempts under way; those that
// failed are ended. *connected: the slot of one that connected.
int Socket::WaitForAttempts(Race& race, DWORD waitMs, size_t* connected) {
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    for (size_t i = 0; i < race.count; ++i) {
        FD_SET(attempts_[i], &writable);
        FD_SET(attempts_[i], &failed);
    }
    timeval limit{};
    limit.tv_sec = static_cast<long>(waitMs / 1000);
    limit.tv_usec = static_cast<long>(waitMs % 1000) * 1000;
    const int ready = select(0, nullptr, &writable, &failed, waitMs == INFINITE ? nullptr : &limit);
    if (ready < 0) {
        race.lastError = WSAGetLastError();
        return static_cast<int>(Waited::kBroken);
    }
    if (ready == 0) return static_cast<int>(Waited::kTimeUp);
    // From the last slot down, so that ending one leaves the slots still to look at in place.
    for (size_t i = race.count; i-- > 0;) {
        if (FD_ISSET(attempts_[i], &writable) && !FD_ISSET(attempts_[i], &failed)) {
            *connected = i;
            return static_cast<int>(Waited::kConnected);
        }
        if (!FD_ISSET(attempts_[i], &failed)) continue;
        int error = 0;
        int length = sizeof error;
        getsockopt(attempts_[i], SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
        race.lastError = error != 0 ? error : WSAECONNREFUSED;
        EndAttempt(race, i);
    }
    return static_cast<int>(Waited::kSomeFailed);
}

// Keeps the attempt in slot as the socket's handle, ends the others, and runs the handshake
// when asked. On failure the handle is closed again.
int Socket::Keep(Race& race, size_t slot, bool handshake, int* error) {
    EnterCriticalSection(&handleLock_);
    const SOCKET handle = attempts_[slot];
    handle_.store(handle); // Shutdown finds it here from now on
    attempts_[slot] = INVALID_SOCKET;
    LeaveCriticalSection(&handleLock_);
    // From the last slot down: the slots above the one ended hold only the kept one.
    for (size_t i = race.count; i-- > 0;) {
        if (i != slot) EndAttempt(race, i);
    }
    race.count = 0;
    ULONG blocking = 0;
    DWORD returned = 0;
    if (ioctlsocket(handle, FIONBIO, &blocking) != 0 ||
        (handshake && WSAIoctl(handle, SO_SSL_PERFORM_HANDSHAKE, nullptr, 0, nullptr, 0, &returned,
                               nullptr, nullptr) != 0)) {
        const int result = Fail(error);
        Close();
        return result;
    }
    return kResultOk;
}

int Socket::Connect(const sockaddr* address, int length, const SecureSetup* secure, int* error) {
    if (address == nullptr) {
        if (error != nullptr) *error = 0;
        return kResultNullArgument;
    }
    const SocketAddress one = {address, length};
    return Connect(&one, 1, secure, nullptr, error);
}

int Socket::Connect(const SocketAddress* addresses, size_t count, const SecureSetup* secure,
                    size_t* winner, int* error) {
    if (error != nullptr) *error = 0;
    if (winner != nullptr) *winner = count;
    if (addresses == nullptr || count == 0) return kResultNullArgument;
    for (size_t i = 0; i < count; ++i) {
        if (addresses[i].address == nullptr) return kResultNullArgument;
    }
    if (HasHandle()) Close();
    const size_t tried = count < kSocketMaxAddresses ? count : kSocketMaxAddresses;
    const bool handshake = secure != nullptr && !secure->deferred;
    Race race;
    size_t next = 0;
    // Time is counted by the waits themselves: a wait that an attempt's failure ended early
    // counts as none, so the bound is never shorter than asked (and needs no clock).
    const bool bounded = timeoutMs_ != 0;
    DWORD left = timeoutMs_;
    DWORD sinceStart = 0;
    bool startNext = true;
    for (;;) {
        if (next < tried && (race.count == 0 || startNext)) {
            const size_t slot = race.count;
            const auto started =
                static_cast<Attempt>(StartAttempt(race, addresses[next], next, secure));
            ++next;
            sinceStart = 0;
            startNext = false;
            if (started == Attempt::kConnected) {
                if (winner != nullptr) *winner = race.index[slot];
                return Keep(race, slot, handshake, error);
            }
            if (started == Attempt::kStopped) break;
            continue;
        }
        if (race.count == 0) break; // every address failed
        if (bounded && left == 0) {
            race.lastError = WSAETIMEDOUT;
            break;
        }
        DWORD wait = bounded ? left : INFINITE;
        if (next < tried && kSocketNextAttemptDelayMs - sinceStart < wait) {
            wait = kSocketNextAttemptDelayMs - sinceStart;
        }
        size_t slot = 0;
        const auto waited = static_cast<Waited>(WaitForAttempts(race, wait, &slot));
        if (shutDown_.load()) {
            race.lastError = WSAESHUTDOWN;
            break;
        }
        if (waited == Waited::kBroken) break;
        if (waited == Waited::kConnected) {
            if (winner != nullptr) *winner = race.index[slot];
            return Keep(race, slot, handshake, error);
        }
        if (waited == Waited::kSomeFailed) {
            startNext = true; // a failure moves on at once
            continue;
        }
        sinceStart += wait;
        if (bounded) left -= wait;
        startNext = sinceStart >= kSocketNextAttemptDelayMs;
    }
    while (race.count > 0) EndAttempt(race, race.count - 1);
    if (error != nullptr) *error = race.lastError;
    WSASetLastError(race.lastError);
    return kResultFail;
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
    int result = handle == INVALID_SOCKET         ? kResultFail
                 : shutdown(handle, SD_BOTH) == 0 ? kResultOk
                                                  : kResultFail;
    if (ShutDownAttempts()) result = kResultOk;
    LeaveCriticalSection(&handleLock_);
    return result;
}

int Socket::Close() {
    // Taking the handle first means two closing threads never close it twice.
    EnterCriticalSection(&handleLock_);
    const SOCKET handle = handle_.exchange(INVALID_SOCKET);
    if (handle != INVALID_SOCKET) CloseHandleNow(handle);
    // Attempts under way are the connecting thread's to close: they are only shut down.
    ShutDownAttempts();
    LeaveCriticalSection(&handleLock_);
    return kResultOk;
}
