#include "transport/Allocator.h"

#include <cstdlib>

#include "base/Results.h"

int HeapAllocator::Allocate(void** block, size_t size) {
    if (block == nullptr) return kResultNullArgument;
    // A zero-byte request still yields a distinct block, so that success means non-null.
    *block = std::calloc(size == 0 ? 1 : size, 1);
    return *block == nullptr ? kResultNoMemory : kResultOk;
}

int HeapAllocator::Free(void* block) {
    if (block == nullptr) return kResultNullArgument;
    std::free(block);
    return kResultOk;
}
