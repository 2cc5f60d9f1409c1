// HttpClient as a Stream: body reads and writes under their locks, the size, and the seek
// that asks the server again from another position.
#include "http/HttpClient.h"

#include "base/Results.h"
#include "http/HttpResponse.h"
#include "http/HttpStatus.h"

namespace {

constexpr int64_t kLargestPosition = 0x7FFFFFFFFFFFFFFFll;

// The position a seek asks for. False when it would lie below 0 or past the largest size.
bool SeekTarget(int64_t offset, DWORD origin, uint64_t position, int64_t size, uint64_t* target) {
    if (origin == kSeekBegin) {
        if (offset < 0) return false;
        *target = static_cast<uint64_t>(offset);
        return true;
    }
    if (origin == kSeekCurrent) {
        const int64_t current = static_cast<int64_t>(position);
        if (offset >= 0 ? offset > kLargestPosition - current : offset < -current) return false;
        *target = static_cast<uint64_t>(current + offset);
        return true;
    }
    if (origin == kSeekEnd) {
        // The end is the last byte: offset 0 names size - 1.
        if (size < 0) return false;
        if (offset >= 1 ? offset - 1 > kLargestPosition - size : offset < 1 - size) return false;
        *target = static_cast<uint64_t>(size - 1 + offset);
        return true;
    }
    *target = position; // any other origin asks again from where the client is
    return true;
}

} // namespace

int HttpClient::GetSize(uint64_t* size) {
    if (size == nullptr) return kResultNullArgument;
    const int64_t known = size_.load(std::memory_order_relaxed);
    if (!IsOpen() || known < 0) return kResultFail;
    *size = static_cast<uint64_t>(known);
    return kResultOk;
}

int HttpClient::Seek(const int64_t* offset, uint64_t*, DWORD origin) {
    if (offset == nullptr) return kResultNullArgument;
    if (!IsOpen()) return kResultFail;
    uint64_t target = 0;
    if (!SeekTarget(*offset, origin, Position(), size_.load(), &target)) {
        return kResultFail;
    }
    return Rerequest(target);
}

int HttpClient::Reopen(uint64_t position) {
    if (!requested_ || aborted_.load()) return kResultFail;
    if (position > static_cast<uint64_t>(kLargestPosition)) return kResultFail;
    return Rerequest(position);
}

LPCWSTR HttpClient::CredentialsForServer() {
    if (!credentials_.given || credentials_.secure != parts_.secure ||
        credentials_.port != parts_.port ||
        !HttpSameHostName(credentials_.hostName, parts_.hostName)) {
        return nullptr;
    }
    return credentials_.encoded;
}

int HttpClient::Rerequest(uint64_t target) {
    const int replaced = RetireConnection();
    SetOpenState(false, target, size_.load());
    responseHeaders_.Clear();
    if (replaced < 0) return replaced;
    // The stored target, host and header lines, and the credentials given for this server.
    int result = SendRequest(CredentialsForServer());
    if (result < 0) return result;
    CHAR statusLine[kHttpStatusLineCapacity];
    result = ReadResponseHead(statusLine, sizeof statusLine);
    if (result < 0) return result;
    DWORD code = 0;
    result = TakeStatus(statusLine, &code);
    if (result < 0) return result;
    if (code == kHttpStatusProxyAuthRequired && useProxy_ && !parts_.secure) {
        return kHttpProxyAuthRequired;
    }
    if (!HttpStatusAccepted(code)) return kHttpRefused;

    uint64_t length = 0;
    const bool known = ResponseLength(&length) == kResultOk;
    if (target > 0 && code == kHttpStatusOk) {
        // The whole resource instead of its rest: readable from its start, but no resume.
        SetOpenState(true, 0, known ? static_cast<int64_t>(length) : -1);
        return kResultFail;
    }
    // Only a partial answer of the range asked for continues at a position.
    if (code == kHttpStatusPartialContent ? !RangeStartsAt(target) : target > 0)
        return kHttpRefused;
    if (!known || length > static_cast<uint64_t>(kLargestPosition) - target) {
        // Without a size the rest can't be checked; at position 0 it is the whole resource.
        if (target == 0) SetOpenState(true, 0, -1);
        return kResultFail;
    }
    SetOpenState(true, target, static_cast<int64_t>(target + length));
    return kHttpAccepted;
}

int HttpClient::Read(void* buffer, DWORD* count) {
    if (count == nullptr) return kResultNullArgument;
    const DWORD wanted = *count;
    *count = 0;
    if (buffer == nullptr && wanted > 0) return kResultNullArgument;
    BYTE* bytes = static_cast<BYTE*>(buffer);
    EnterCriticalSection(&readLock_);
    if (!IsOpen()) {
        LeaveCriticalSection(&readLock_);
        return kResultFail;
    }
    DWORD done = wanted;
    const int result = socket_->Read(bytes, &done);
    position_.store(position_.load(std::memory_order_relaxed) + done, std::memory_order_relaxed);
    *count = done;
    LeaveCriticalSection(&readLock_);
    return result;
}

int HttpClient::ReadToFile(HANDLE file, DWORD* count) {
    if (count == nullptr) return kResultNullArgument;
    EnterCriticalSection(&readLock_);
    if (!IsOpen()) {
        *count = 0;
        LeaveCriticalSection(&readLock_);
        return kResultFail;
    }
    const int result = socket_->MoveToFile(file, count);
    position_.store(position_.load(std::memory_order_relaxed) + *count, std::memory_order_relaxed);
    LeaveCriticalSection(&readLock_);
    return result;
}

int HttpClient::Write(const void* data, DWORD* count) {
    if (count == nullptr) return kResultNullArgument;
    EnterCriticalSection(&writeLock_);
    if (!IsOpen()) {
        LeaveCriticalSection(&writeLock_);
        return kResultFail;
    }
    const int result = socket_->Write(data, count);
    if (result > 0) written_.fetch_add(*count, std::memory_order_relaxed);
    LeaveCriticalSection(&writeLock_);
    return result;
}
