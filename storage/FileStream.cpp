#include "storage/FileStream.h"

#include "base/Results.h"
#include "base/StringUtil.h"
#include "storage/DevicePath.h"

namespace {

constexpr DWORD kReadAccess = GENERIC_READ;
constexpr DWORD kReadWriteAccess = GENERIC_READ | GENERIC_WRITE;

uint64_t JoinWords(DWORD low, DWORD high) {
    return (static_cast<uint64_t>(high) << 32) | low;
}

} // namespace

FileStream::FileStream() : handle_(INVALID_HANDLE_VALUE), open_(FALSE) {}

FileStream::~FileStream() {
    CloseFile();
}

int FileStream::GetName(LPWSTR buffer, DWORD capacity) {
    if (buffer == nullptr || capacity == 0) return kResultNullArgument;
    if (!open_) return kResultFail;
    return StrCopy(buffer, capacity, name_.GetWide());
}

int FileStream::GetSize(uint64_t* size) {
    if (!open_ || size == nullptr) return kResultFail;
    DWORD high = 0;
    // INVALID_FILE_SIZE is also a valid low word; only the error value tells them apart.
    SetLastError(NO_ERROR);
    const DWORD low = GetFileSize(handle_, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return kResultFail;
    *size = JoinWords(low, high);
    return kResultOk;
}

int FileStream::Seek(const int64_t* offset, uint64_t* position, DWORD origin) {
    if (offset == nullptr) return kResultNullArgument;
    if (!open_) return kResultFail;
    if (origin != kSeekBegin && origin != kSeekCurrent && origin != kSeekEnd) return kResultFail;
    const uint64_t distance = static_cast<uint64_t>(*offset);
    LONG high = static_cast<LONG>(static_cast<DWORD>(distance >> 32));
    SetLastError(NO_ERROR);
    const DWORD low =
        SetFilePointer(handle_, static_cast<LONG>(static_cast<DWORD>(distance)), &high, origin);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return kResultFail;
    if (position != nullptr) *position = JoinWords(low, static_cast<DWORD>(high));
    return kResultOk;
}

int FileStream::Read(void* buffer, DWORD* count) {
    if (buffer == nullptr || count == nullptr) return kResultNullArgument;
    if (!open_) {
        *count = 0;
        return kResultFail;
    }
    // A failed read is not the end of the file, so it is not reported as one.
    if (!ReadFile(handle_, buffer, *count, count, nullptr)) return kResultFail;
    return kResultOk;
}

int FileStream::Write(const void* data, DWORD* count) {
    if (data == nullptr || count == nullptr) return kResultNullArgument;
    if (!open_) {
        *count = 0;
        return kResultFail;
    }
    // The count carries the outcome: the writer compares it with what it meant to write.
    WriteFile(handle_, data, *count, count, nullptr);
    return kResultOk;
}

int FileStream::Flush() {
    if (!open_) return kResultFail;
    return FlushFileBuffers(handle_) ? kResultOk : kResultFail;
}

int FileStream::GetAccessor(StreamAccessor* record) {
    return GetAccessorWhenOpen(record, open_);
}

int FileStream::Close() {
    return CloseFile();
}

int FileStream::Open(LPCWSTR path, BOOL readOnly) {
    CloseFile();
    if (path == nullptr) return kResultFail;
    // A link at the name is not followed: whoever may write into the folder must not point
    // the download at a file elsewhere.
    handle_ =
        CreateFileW(path, readOnly ? kReadAccess : kReadWriteAccess, FILE_SHARE_READ, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) return kResultFail;
    open_ = TRUE;
    name_.AssignWide(PathLastComponent(path));
    return kResultOk;
}

int FileStream::CloseFile() {
    if (!open_) return kResultNo;
    // Closing stores what the platform still holds back: its failure is a failed write.
    BOOL stored = TRUE;
    if (handle_ != INVALID_HANDLE_VALUE) {
        stored = CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
    open_ = FALSE;
    return stored ? kResultOk : kResultFail;
}
