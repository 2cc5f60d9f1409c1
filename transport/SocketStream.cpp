#include "transport/SocketStream.h"

#include "base/Bytes.h"
#include "base/Results.h"
#include "base/WString.h"

SocketStream::SocketStream(int type) : socket_(type) {
    ClearRemote();
}

void SocketStream::ClearRemote() {
    BytesFill(&remote_, 0, sizeof remote_);
    remote_.sin_family = AF_INET;
}

int SocketStream::Resolve(LPCWSTR host, hostent** entry) {
    if (entry == nullptr) return kResultNullArgument;
    if (!socket_.HasHandle() || host == nullptr) return kResultFail;
    WString name;
    name.AssignWide(host);
    hostent* found = gethostbyname(name.GetNarrow());
    if (found == nullptr) return kResultFail;
    *entry = found;
    return kResultOk;
}

int SocketStream::SetTimeout(DWORD milliseconds) {
    return socket_.SetTimeout(milliseconds);
}

int SocketStream::Connect(DWORD address, WORD port) {
    remote_.sin_addr.s_addr = htonl(address);
    remote_.sin_port = htons(port);
    BytesFill(remote_.sin_zero, 0, sizeof remote_.sin_zero);
    return socket_.Connect(&remote_);
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

int SocketStream::Write(const void* data, DWORD* count) {
    if (count == nullptr) return kResultNullArgument;
    return socket_.Send(data, *count, nullptr);
}

int SocketStream::GetAccessor(StreamAccessor* record) {
    if (record == nullptr) return kResultNullArgument;
    return Stream::GetAccessor(record);
}

int SocketStream::Close() {
    socket_.Close();
    ClearRemote();
    return kResultOk;
}
