#include "transport/SocketStream.h"

#include <ws2tcpip.h>

#include "base/Results.h"

namespace {

constexpr DWORD kPortTextCapacity = 8; // "65535" and the terminator
constexpr int kHostNameCapacity = 256; // DNS's longest name and the terminator

} // namespace

SocketStream::SocketStream(int type) : socket_(type) {}

int SocketStream::SetSecure(LPCWSTR peerName, bool deferred) {
    if (peerName == nullptr) return kResultNullArgument;
    secure_ = true;
    deferred_ = deferred;
    peerName_.AssignWide(peerName);
    return kResultOk;
}

// Called by the platform during the handshake, on the connecting thread: only a certificate
// the platform's own check found nothing wrong with is accepted.
int CALLBACK SocketStream::CheckCertificate(DWORD type, LPVOID self, DWORD, LPBLOB,
                                            DWORD problems) {
    static_cast<SocketStream*>(self)->certificateProblems_.store(problems);
    return type == SSL_CERT_X509 && problems == 0 ? SSL_ERR_OKAY : SSL_ERR_FAILED;
}

int SocketStream::SecureFailure(int error) const {
    if (!secure_) return kResultFail;
    if (error == WSAEACCES) return kSocketCertificateRefused;
    if (error == WSAECONNABORTED) return kSocketHandshakeFailed;
    // The secure-socket option itself was refused: Winsock without the device's TLS.
    if (error == WSAENOPROTOOPT) return kSocketSecureUnsupported;
    return kResultFail;
}

namespace {

// The stream addresses of host at port, in the resolver's order (freed by freeaddrinfo). A
// name beyond ASCII is asked for in its ASCII form (a proxy's name too). 1;
// kSocketNameNotFound.
int LookUp(LPCWSTR host, WORD port, addrinfo** found) {
    *found = nullptr;
    bool ascii = true;
    for (LPCWSTR unit = host; *unit != 0; ++unit) ascii = ascii && *unit < 0x80;
    WCHAR converted[kHostNameCapacity];
    if (!ascii &&
        IdnToAscii(IDN_USE_STD3_ASCII_RULES, host, -1, converted, kHostNameCapacity) == 0) {
        return kSocketNameNotFound;
    }
    WString name;
    name.AssignWide(ascii ? host : converted);
    WCHAR portText[kPortTextCapacity];
    wsprintfW(portText, TEXT("%u"), static_cast<unsigned>(port));
    WString service;
    service.AssignWide(portText);
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    return getaddrinfo(name.GetNarrow(), service.GetNarrow(), &hints, found) == 0
               ? kResultOk
               : kSocketNameNotFound;
}

// The first kSocketMaxAddresses of found, the families taking turns from the first one's
// (RFC 8305), each in the resolver's order. The count.
size_t Interleave(const addrinfo* found, SocketAddress* addresses) {
    const addrinfo* first[kSocketMaxAddresses];
    const addrinfo* other[kSocketMaxAddresses];
    size_t firsts = 0;
    size_t others = 0;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        const bool same = entry->ai_family == found->ai_family;
        if (same && firsts < kSocketMaxAddresses) first[firsts++] = entry;
        if (!same && others < kSocketMaxAddresses) other[others++] = entry;
    }
    size_t count = 0;
    for (size_t i = 0; i < firsts || i < others; ++i) {
        if (i < firsts && count < kSocketMaxAddresses) {
            addresses[count++] = {first[i]->ai_addr, static_cast<int>(first[i]->ai_addrlen)};
        }
        if (i < others && count < kSocketMaxAddresses) {
            addresses[count++] = {other[i]->ai_addr, static_cast<int>(other[i]->ai_addrlen)};
        }
    }
    return count;
}

} // namespace

int SocketStream::SetTimeout(DWORD milliseconds) {
    return socket_.SetTimeout(milliseconds);
}

int SocketStream::Resolve(LPCWSTR host) {
    if (host == nullptr) return kResultNullArgument;
    addrinfo* found = nullptr;
    const int result = LookUp(host, 0, &found);
    if (found != nullptr) freeaddrinfo(found);
    return result;
}

int SocketStream::Connect(LPCWSTR host, WORD port) {
    if (host == nullptr) return kResultNullArgument;
    addrinfo* found = nullptr;
    if (LookUp(host, port, &found) != kResultOk) return kSocketNameNotFound;
    SocketAddress addresses[kSocketMaxAddresses];
    size_t count = Interleave(found, addresses);
    SecureSetup setup = {peerName_.GetNarrow(), {CheckCertificate, this}, deferred_};
    int result = kResultFail;
    while (count > 0) {
        certificateProblems_.store(0);
        int error = 0;
        size_t winner = count;
        if (socket_.Connect(addresses, count, secure_ ? &setup : nullptr, &winner, &error) ==
            kResultOk) {
            result = kResultOk;
            break;
        }
        result = SecureFailure(error);
        // No address connected; or another would show the same certificate or the same
        // platform; or the stream was shut down: no more tries.
        if (winner >= count || result == kSocketCertificateRefused ||
            result == kSocketSecureUnsupported || error == WSAESHUTDOWN) {
            break;
        }
        // The handshake failed on the one that connected: the others race again without it.
        for (size_t i = winner + 1; i < count; ++i) addresses[i - 1] = addresses[i];
        --count;
    }
    freeaddrinfo(found);
    return result;
}

int SocketStream::PerformHandshake() {
    if (!secure_ || !deferred_) return kResultFail;
    int error = 0;
    if (socket_.PerformHandshake(&error) == kResultOk) return kResultOk;
    const int failure = SecureFailure(error);
    return failure == kResultFail ? kSocketHandshakeFailed : failure;
}

int SocketStream::Send(const void* data, DWORD length, DWORD* sent) {
    return socket_.Send(data, length, sent);
}

int SocketStream::Receive(void* buffer, DWORD capacity, DWORD* received) {
    return socket_.Receive(buffer, capacity, received);
}

int SocketStream::Shutdown() {
    return socket_.Shutdown();
}

int SocketStream::GetName(LPWSTR, DWORD) {
    return kResultFail;
}

int SocketStream::GetSize(uint64_t*) {
    return kResultFail;
}

int SocketStream::Seek(const int64_t*, uint64_t*, DWORD) {
    return kResultFail;
}

int SocketStream::Read(void* buffer, DWORD* count) {
    if (count == nullptr) return kResultNullArgument;
    DWORD received = 0;
    const int result = socket_.Receive(buffer, *count, &received);
    *count = received;
    return result;
}

int SocketStream::MoveToFile(HANDLE file, DWORD* count) {
    if (count == nullptr) return kResultNullArgument;
    DWORD moved = 0;
    const int result = socket_.MoveToFile(file, *count, &moved);
    *count = moved;
    return result;
}

int SocketStream::Write(const void* data, DWORD* count) {
    if (count == nullptr) return kResultNullArgument;
    return socket_.Send(data, *count, nullptr);
}

int SocketStream::GetAccessor(StreamAccessor* record) {
    if (record == nullptr) return kResultNullArgument;
    return Stream::GetAccessor(record);
}

int SocketStream::Close() {
    socket_.Shutdown();
    socket_.Close();
    return kResultOk;
}
