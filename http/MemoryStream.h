// MemoryStream: a Stream kept in memory as a chain of equal chunks that grows as it is
// written. Byte i lies in chunk i / chunkSize at offset i % chunkSize. Closed after
// construction; Open makes it empty and usable.
#pragma once

#include <cstdint>

#include <windows.h>

#include "base/List.h"
#include "base/WString.h"
#include "transport/Stream.h"

class MemoryStream final : public Stream {
public:
    MemoryStream() = default;
    ~MemoryStream() { Close(); }

    // Closes, then opens empty with chunks of chunkSize bytes. 1; -4 chunkSize 0.
    int Open(DWORD chunkSize, LPCWSTR name);
    // 1; -1 not open.
    int SetName(LPCWSTR name);

    // -4 null buffer or capacity 0; -1 not open; else the bounded copy's 1 or 0.
    int GetName(LPWSTR buffer, DWORD capacity) override;
    // The bytes written so far. 1; -4 null size; -1 not open.
    int GetSize(uint64_t* size) override;
    // Targets in 0 ... size. 1; -4 null offset; -1 not open, bad origin or out of range
    // (position unchanged).
    int Seek(const int64_t* offset, uint64_t* position, DWORD origin) override;
    // -4 null buffer or count; -1 not open; 0 with count 0 when the position lies past the
    // last chunk; else 1 with the bytes copied (count 0 at the end of the data).
    int Read(void* buffer, DWORD* count) override;
    // Overwrites from the position up to the size, then appends, adding chunks as needed.
    // 1 with the count written; -4 null data or count; -1 not open; -2 a chunk could not be
    // allocated (count tells what was written before).
    int Write(const void* data, DWORD* count) override;
    // -4 null record; -1 not open; else the shared accessor record.
    int GetAccessor(StreamAccessor* record) override;
    // Releases every chunk and the name. 1; -4 not open.
    int Close() override;

    DWORD ChunkCount() const { return chunkCount_; }

private:
    List::Node* ChunkAt(DWORD index) const;
    int AppendChunk();

    List chunks_;
    WString name_;
    BOOL open_ = FALSE;
    DWORD chunkSize_ = 0;
    DWORD chunkCount_ = 0;
    DWORD position_ = 0;
    DWORD size_ = 0;
};
