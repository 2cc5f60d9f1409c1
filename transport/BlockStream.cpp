#include "transport/BlockStream.h"

#include <new>

#include "base/Bytes.h"
#include "base/Results.h"
#include "base/StringUtil.h"
#include "transport/SeekTarget.h"

int BlockStream::Attach(void* block, DWORD capacity, BOOL readOnly, LPCWSTR name) {
    Detach();
    BYTE* memory = static_cast<BYTE*>(block);
    if (memory == nullptr) {
        memory = new (std::nothrow) BYTE[capacity == 0 ? 1 : capacity];
        if (memory == nullptr) return kResultNoMemory;
        ownsBlock_ = TRUE;
    }
    block_ = memory;
    capacity_ = capacity;
    readOnly_ = readOnly;
    position_ = 0;
    attached_ = TRUE;
    name_.AssignWide(name);
    return kResultOk;
}

int BlockStream::Detach() {
    if (!attached_) return kResultNo;
    attached_ = FALSE;
    if (ownsBlock_) {
        delete[] block_;
        ownsBlock_ = FALSE;
    }
    readOnly_ = TRUE;
    name_.Clear();
    block_ = nullptr;
    capacity_ = 0;
    position_ = 0;
    return kResultOk;
}

int BlockStream::GetName(LPWSTR buffer, DWORD capacity) {
    if (buffer == nullptr || capacity == 0) return kResultNullArgument;
    if (!attached_) return kResultFail;
    return StrCopy(buffer, capacity, name_.GetWide());
}

int BlockStream::GetSize(uint64_t* size) {
    if (size == nullptr) return kResultNullArgument;
    if (!attached_) return kResultFail;
    *size = capacity_;
    return kResultOk;
}

int BlockStream::Seek(const int64_t* offset, uint64_t* position, DWORD origin) {
    if (offset == nullptr) return kResultNullArgument;
    if (!attached_) return kResultFail;
    uint64_t target = 0;
    if (!SeekTargetInRange(*offset, origin, position_, capacity_, &target)) return kResultFail;
    position_ = static_cast<DWORD>(target);
    if (position != nullptr) *position = target;
    return kResultOk;
}

DWORD BlockStream::BytesAvailable(DWORD wanted) const {
    const DWORD left = capacity_ - position_;
    return wanted > left ? left : wanted;
}

int BlockStream::Read(void* buffer, DWORD* count) {
    if (!attached_ || count == nullptr || buffer == nullptr) return kResultFail;
    const DWORD n = BytesAvailable(*count);
    BytesCopy(buffer, block_ + position_, n);
    position_ += n;
    *count = n;
    return kResultOk;
}

int BlockStream::Write(const void* data, DWORD* count) {
    if (!attached_ || readOnly_ || count == nullptr || data == nullptr) return kResultFail;
    const DWORD n = BytesAvailable(*count);
    BytesCopy(block_ + position_, data, n);
    position_ += n;
    *count = n;
    return kResultOk;
}

int BlockStream::GetAccessor(StreamAccessor* record) {
    return GetAccessorWhenOpen(record, attached_);
}

int BlockStream::Close() {
    return Detach();
}
