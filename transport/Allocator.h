// Allocator: where owners of buffers take their memory from. Its two operations form its
// table: Allocate (slot 0) and Free (slot 1). Owners destroy allocators through their
// concrete types.
#pragma once

#include <windows.h>

class Allocator {
public:
    Allocator() = default;
    Allocator(const Allocator&) = delete;
    Allocator& operator=(const Allocator&) = delete;

    // 1 and *block = a zero-filled block of size bytes; -4 null block; -2 no memory
    // (*block is then null).
    virtual int Allocate(void** block, size_t size) = 0;
    // 1; -4 null block.
    virtual int Free(void* block) = 0;

protected:
    ~Allocator() = default;
};

// The general-purpose heap.
class HeapAllocator final : public Allocator {
public:
    int Allocate(void** block, size_t size) override;
    int Free(void* block) override;
};
