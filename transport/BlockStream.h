// BlockStream: a Stream over one fixed memory block, the caller's or its own. The block
// never grows: its capacity is the stream's size, whatever has been written.
#pragma once

#include <cstdint>

#include <windows.h>

#include "base/WString.h"
#include "transport/Stream.h"

class BlockStream final : public Stream {
public:
    BlockStream() = default;
    ~BlockStream() { Detach(); }

    // Detaches, then attaches block (or, when block is null, a block of capacity bytes the
    // stream allocates and later frees; its contents are not cleared). name may be null.
    // 1; -2 no memory (the stream stays detached).
    int Attach(void* block, DWORD capacity, BOOL readOnly, LPCWSTR name);
    // 1 detached; 0 nothing was attached. A caller's block is never freed.
    int Detach();

    int GetName(LPWSTR buffer, DWORD capacity) override;
    int GetSize(uint64_t* size) override;
    int Seek(const int64_t* offset, uint64_t* position, DWORD origin) override;
    // Read and write give -1 (not -4) for null arguments, and -1 when detached. Write gives
    // -1 on a read-only block; a full block gives 1 with count 0.
    int Read(void* buffer, DWORD* count) override;
    int Write(const void* data, DWORD* count) override;
    int GetAccessor(StreamAccessor* record) override;
    // Detach.
    int Close() override;

private:
    DWORD BytesAvailable(DWORD wanted) const;

    BOOL attached_ = FALSE;
    BOOL ownsBlock_ = FALSE;
    WString name_;
    BOOL readOnly_ = TRUE;
    BYTE* block_ = nullptr;
    DWORD capacity_ = 0;
    DWORD position_ = 0;
};
