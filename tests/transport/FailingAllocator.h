// An Allocator for tests that fails one chosen allocation and counts the blocks it has
// handed out and not yet got back, so that tests can see a failure handled without a leak.
#pragma once

#include <cstdlib>

#include "base/Results.h"
#include "transport/Allocator.h"

class FailingAllocator final : public Allocator {
public:
    // failAt: the 1-based number of the allocation that fails; 0 never fails.
    explicit FailingAllocator(int failAt = 0) : failAt_(failAt) {}

    int Allocate(void** block, size_t size) override {
        if (block == nullptr) return kResultNullArgument;
        *block = nullptr;
        if (++calls == failAt_) return kResultNoMemory;
        *block = std::calloc(size == 0 ? 1 : size, 1);
        if (*block == nullptr) return kResultNoMemory;
        ++outstanding;
        return kResultOk;
    }
    int Free(void* block) override {
        if (block == nullptr) return kResultNullArgument;
        std::free(block);
        --outstanding;
        return kResultOk;
    }

    int calls = 0;
    int outstanding = 0;

private:
    int failAt_;
};
