#include "transport/SocketStream.h"

#include <ws2tcpip.h>

#include "base/Results.h"

namespace {

constexpr DWORD kPortTextCapacity = 8; // "65535" and the terminator

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

// The stream addresses of host at port, in the resolver's order (freed by freeaddrinfo).
// 1; kSocketNameNotFound.
int LookUp(LPCWSTR host, WORD port, addrinfo** found) {
    WString name;
    name.AssignWide(host);
    WCHAR portText[kPortTextCapacity];
    wsprintfW(portText, TEXT("%u"), static_cast<unsigned>(port));
    WString service;
    service.AssignWide(portText);
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    *found = nullptr;
    return getaddrinfo(name.GetNarrow(), service.GetNarrow(), &hints, found) == 0
               ? kResultOk
               : kSocketNameNotFound;
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
    SecureSetup setup = {peerName_.GetNarrow(), {CheckCertificate, this}, deferred_};
    int result = kResultFail;
    for (const addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
        certificateProblems_.store(0);
        int error = 0;
        if (socket_.Connect(entry->ai_addr, static_cast<int>(entry->ai_addrlen),
                            secure_ ? &setup : nullptr, &error) == kResultOk) {
            result = kResultOk;
            break;
        }
        result = SecureFailure(error);
        // Another address would show the same certificate or the same platform; a shut-down
        // stream tries no more.
        if (result == kSocketCertificateRefused || result == kSocketSecureUnsupported ||
            error == WSAESHUTDOWN) {
            break;
        }
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
