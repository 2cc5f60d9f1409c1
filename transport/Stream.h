// Stream: the one interface through which the system moves bytes. Its virtual functions are
// the eight operations of every stream's table, declared in slot order; the reference count
// is its field. Owners create and destroy streams through their concrete types (the
// destructor is not a table slot).
//
// Sizes and positions are unsigned 64-bit, offsets signed 64-bit. Read and write take the
// wanted byte count in *count and replace it with the count done; read giving 1 with count 0
// means the end of the data. Seek origins: kSeekBegin, kSeekCurrent, kSeekEnd.
#pragma once

#include <cstdint>

#include <windows.h>

class Stream;

constexpr DWORD kSeekBegin = 0;   // FILE_BEGIN
constexpr DWORD kSeekCurrent = 1; // FILE_CURRENT
constexpr DWORD kSeekEnd = 2;     // FILE_END

// Filled by GetAccessor for a caller outside the object model: plain functions that call the
// stream's size, seek, read and write slots (each gives -1 for a null stream).
struct StreamAccessor {
    DWORD recordSize; // in: the caller's record size, at least sizeof(StreamAccessor); out: it
    Stream* stream;
    int (*size)(Stream* stream, uint64_t* size);
    int (*seek)(Stream* stream, const int64_t* offset, uint64_t* position, DWORD origin);
    int (*read)(Stream* stream, void* buffer, DWORD* count);
    int (*write)(Stream* stream, const void* data, DWORD* count);
};

class Stream {
public:
    Stream() = default;
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    // Slot 0: the stream's name into buffer. 1 whole; 0 truncated (terminated); -1 not open
    // or not supported; -4 null buffer or capacity 0.
    virtual int GetName(LPWSTR buffer, DWORD capacity) = 0;
    // Slot 1: 1 and *size; -1 not open or not supported; -4 null size.
    virtual int GetSize(uint64_t* size) = 0;
    // Slot 2: moves the position; *position (optional) receives it. 1; -1 not open, bad
    // origin, target out of range or not supported; -4 null offset.
    virtual int Seek(const int64_t* offset, uint64_t* position, DWORD origin) = 0;
    // Slot 3: 1 with *count = bytes read (0 at the end of the data); negative on failure.
    virtual int Read(void* buffer, DWORD* count) = 0;
    // Slot 4: 1 with *count = bytes written; negative on failure.
    virtual int Write(const void* data, DWORD* count) = 0;
    // Slot 5 (shared): fills record and raises the reference count. 1; -4 null record; -98
    // record->recordSize below sizeof(StreamAccessor) (nothing written). Implementations put
    // their own checks in front and then call Stream::GetAccessor.
    virtual int GetAccessor(StreamAccessor* record);
    // Slot 6 (shared): lowers the reference count. 1; -1 when it was 0. Never destroys.
    virtual int Release();
    // Slot 7: 1 closed; 0 nothing was open.
    virtual int Close() = 0;

    LONG ReferenceCount() const { return referenceCount_; }

protected:
    ~Stream() = default;
    // The check the streams that can be closed put in front of slot 5: -4 null record, -1
    // when not open, else Stream::GetAccessor.
    int GetAccessorWhenOpen(StreamAccessor* record, bool open);

    LONG referenceCount_ = 0;
};

// A stream that opens a file by path: slots 8 and 9 follow the eight of Stream. This layer
// implements none of them itself.
class OpenableStream : public Stream {
public:
    // Slot 8: opens path (UTF-16), read-only when readOnly is non-zero. 1; -1 refused.
    virtual int Open(LPCWSTR path, BOOL readOnly) = 0;
    // Slot 9: 1 closed; 0 nothing was open (the same as Close).
    virtual int CloseFile() = 0;

protected:
    ~OpenableStream() = default;
};
