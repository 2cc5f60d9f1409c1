#include "http/LineReader.h"

#include <new>

#include "base/Results.h"

LineReader::LineReader(Allocator* allocator, DWORD bufferSize)
    : allocator_(allocator), bufferSize_(bufferSize == 0 ? 1 : bufferSize) {
    if (allocator_ == nullptr) {
        ownedAllocator_ = new (std::nothrow) HeapAllocator;
        allocator_ = ownedAllocator_;
    }
}

LineReader::~LineReader() {
    Detach();
    delete ownedAllocator_;
}

int LineReader::Attach(Stream* source) {
    if (source_ != nullptr) return kResultFail;
    if (source == nullptr) return kResultNullArgument;
    if (allocator_ == nullptr) return kResultNoMemory;
    void* block = nullptr;
    if (allocator_->Allocate(&block, bufferSize_) <= 0 || block == nullptr) {
        return kResultNoMemory;
    }
    buffer_ = static_cast<BYTE*>(block);
    source_ = source;
    readIndex_ = 0;
    fillEnd_ = 0;
    return kResultOk;
}

int LineReader::Detach() {
    if (buffer_ != nullptr && allocator_ != nullptr) allocator_->Free(buffer_);
    buffer_ = nullptr;
    source_ = nullptr;
    readIndex_ = 0;
    fillEnd_ = 0;
    return kResultOk;
}

int LineReader::Refill() {
    if (source_ == nullptr || buffer_ == nullptr) return kResultFail;
    if (allocator_ == nullptr) return kResultNoMemory;
    DWORD count = bufferSize_;
    const int result = source_->Read(buffer_, &count);
    readIndex_ = 0;
    if (result <= 0) {
        fillEnd_ = 0;
        return result < 0 ? kResultFail : kResultEnd;
    }
    fillEnd_ = count > bufferSize_ ? bufferSize_ : count;
    return kResultOk;
}

int LineReader::ReadBytes(void* destination, DWORD* count) {
    if (destination == nullptr) return kResultNullArgument;
    const DWORD wanted = count != nullptr ? *count : 1;
    BYTE* to = static_cast<BYTE*>(destination);
    DWORD delivered = 0;
    bool sourceStopped = false;
    while (delivered < wanted) {
        if (readIndex_ >= fillEnd_) {
            if (Refill() <= 0) {
                sourceStopped = true;
                break;
            }
            if (fillEnd_ == 0) break; // the source had nothing for now
        }
        to[delivered++] = buffer_[readIndex_++];
    }
    if (count != nullptr) *count = delivered;
    if (sourceStopped) return kResultFail;
    return delivered > 0 ? kResultOk : kResultNo;
}

int LineReader::ReadLine(LPSTR destination, DWORD* length, BOOL* cut) {
    if (cut != nullptr) *cut = FALSE;
    if (source_ == nullptr || length == nullptr) return kResultFail;
    const DWORD capacity = *length;
    if (capacity == 0) return kResultOk;
    if (destination == nullptr) return kResultNullArgument;

    const DWORD room = capacity - 1; // the last byte is kept for the terminator
    DWORD stored = 0;
    // A carriage return is stored only once the next byte shows it is not the end of line.
    bool carriageReturnPending = false;
    int result = kResultOk;
    for (;;) {
        CHAR c = 0;
        const int got = ReadBytes(&c, nullptr);
        if (got <= 0) {
            if (got < 0) result = kResultFail;
            break;
        }
        if (c == '\n') break;
        if (carriageReturnPending) {
            if (stored == room) {
                if (cut != nullptr) *cut = TRUE;
                break;
            }
            destination[stored++] = '\r';
            carriageReturnPending = false;
        }
        if (c == '\r') {
            carriageReturnPending = true;
            continue;
        }
        if (stored == room) {
            if (cut != nullptr) *cut = TRUE;
            break;
        }
        destination[stored++] = c;
    }
    destination[stored] = 0;
    *length = stored;
    return result;
}

int LineReader::SkipLine() {
    for (;;) {
        CHAR c = 0;
        const int got = ReadBytes(&c, nullptr);
        if (got <= 0) return got;
        if (c == '\n') return kResultOk;
    }
}
