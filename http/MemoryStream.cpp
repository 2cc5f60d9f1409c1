#include "http/MemoryStream.h"

#include <cstdlib>

#include "base/Bytes.h"
#include "base/Results.h"
#include "base/StringUtil.h"
#include "transport/SeekTarget.h"

namespace {

constexpr DWORD kMaximumSize = 0xFFFFFFFF; // the size and position are 32-bit counts

} // namespace

int MemoryStream::Open(DWORD chunkSize, LPCWSTR name) {
    if (open_) Close();
    if (chunkSize == 0) return kResultNullArgument;
    chunkSize_ = chunkSize;
    name_.AssignWide(name);
    open_ = TRUE;
    return kResultOk;
}

int MemoryStream::SetName(LPCWSTR name) {
    if (!open_) return kResultFail;
    name_.AssignWide(name);
    return kResultOk;
}

int MemoryStream::Close() {
    if (!open_) return kResultNullArgument;
    List::Node* node = nullptr;
    while (chunks_.First(&node) == kResultOk && node != nullptr) {
        std::free(node->data);
        chunks_.Remove(node);
    }
    name_.Clear();
    chunkSize_ = 0;
    chunkCount_ = 0;
    position_ = 0;
    size_ = 0;
    open_ = FALSE;
    return kResultOk;
}

List::Node* MemoryStream::ChunkAt(DWORD index) const {
    List::Node* node = nullptr;
    chunks_.First(&node);
    for (; node != nullptr && index > 0; --index) node = node->next;
    return node;
}

int MemoryStream::AppendChunk() {
    void* block = std::malloc(chunkSize_);
    if (block == nullptr) return kResultNoMemory;
    List::Node* last = nullptr;
    chunks_.Last(&last);
    if (chunks_.Insert(block, last) != kResultOk) {
        std::free(block);
        return kResultNoMemory;
    }
    ++chunkCount_;
    return kResultOk;
}

// GetName, GetSize and Seek check their arguments as BlockStream's do; the two keep their
// bytes apart (a growing chain here, one fixed block there), so each keeps its own.
int MemoryStream::GetName(LPWSTR buffer, DWORD capacity) {
    if (buffer == nullptr || capacity == 0) return kResultNullArgument;
    if (!open_) return kResultFail;
    return StrCopy(buffer, capacity, name_.GetWide());
}

int MemoryStream::GetSize(uint64_t* size) {
    if (size == nullptr) return kResultNullArgument;
    if (!open_) return kResultFail;
    *size = size_;
    return kResultOk;
}

int MemoryStream::Seek(const int64_t* offset, uint64_t* position, DWORD origin) {
    if (offset == nullptr) return kResultNullArgument;
    if (!open_) return kResultFail;
    uint64_t target = 0;
    if (!SeekTargetInRange(*offset, origin, position_, size_, &target)) return kResultFail;
    position_ = static_cast<DWORD>(target);
    if (position != nullptr) *position = target;
    return kResultOk;
}

int MemoryStream::Read(void* buffer, DWORD* count) {
    if (buffer == nullptr || count == nullptr) return kResultNullArgument;
    if (!open_) return kResultFail;
    const DWORD wanted = *count;
    *count = 0;
    DWORD chunkIndex = position_ / chunkSize_;
    if (chunkIndex >= chunkCount_) return kResultEnd;
    const DWORD left = size_ - position_;
    DWORD remaining = wanted < left ? wanted : left;
    BYTE* to = static_cast<BYTE*>(buffer);
    DWORD done = 0;
    for (List::Node* node = ChunkAt(chunkIndex); remaining > 0 && node != nullptr;
         node = node->next) {
        const DWORD offset = position_ % chunkSize_;
        DWORD n = chunkSize_ - offset;
        if (n > remaining) n = remaining;
        BytesCopy(to + done, static_cast<BYTE*>(node->data) + offset, n);
        done += n;
        position_ += n;
        remaining -= n;
    }
    *count = done;
    return kResultOk;
}

int MemoryStream::Write(const void* data, DWORD* count) {
    if (data == nullptr || count == nullptr) return kResultNullArgument;
    if (!open_) return kResultFail;
    DWORD remaining = *count;
    if (remaining > kMaximumSize - position_) remaining = kMaximumSize - position_;
    const BYTE* from = static_cast<const BYTE*>(data);
    DWORD done = 0;
    int result = kResultOk;
    List::Node* node = ChunkAt(position_ / chunkSize_);
    while (remaining > 0) {
        if (node == nullptr) {
            // The position is at the size and the last chunk is full (or there is none).
            result = AppendChunk();
            if (result != kResultOk) break;
            chunks_.Last(&node);
        }
        const DWORD offset = position_ % chunkSize_;
        DWORD n = chunkSize_ - offset;
        if (n > remaining) n = remaining;
        BytesCopy(static_cast<BYTE*>(node->data) + offset, from + done, n);
        done += n;
        position_ += n;
        remaining -= n;
        if (position_ > size_) size_ = position_;
        node = node->next;
    }
    *count = done;
    return result;
}

int MemoryStream::GetAccessor(StreamAccessor* record) {
    return GetAccessorWhenOpen(record, open_);
}
