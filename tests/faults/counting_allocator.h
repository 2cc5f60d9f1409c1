// An Allocator for fault sweeps: once armed with N it fails the Nth allocation after the
// arming (and only that one), and it keeps every block it handed out, so that a test sees
// what is still outstanding and any free of a block it never gave (or gave back already).
#pragma once

#include <cstdlib>
#include <set>

#include "base/Results.h"
#include "transport/Allocator.h"

class CountingAllocator final : public Allocator {
public:
    CountingAllocator() = default;
    ~CountingAllocator() {
        for (void* block : live_) std::free(block);
    }

    // Counts allocations from now on and fails the failAt-th of them (1-based).
    void Arm(int failAt) {
        failAt_ = failAt;
        counted_ = 0;
        injected_ = false;
    }
    // Stops counting; later allocations succeed.
    void Disarm() { failAt_ = 0; }

    int Allocate(void** block, size_t size) override {
        if (block == nullptr) return kResultNullArgument;
        *block = nullptr;
        ++allocations_;
        if (failAt_ > 0 && ++counted_ == failAt_) {
            injected_ = true;
            ++injectedTotal_;
            return kResultNoMemory;
        }
        *block = std::calloc(size == 0 ? 1 : size, 1);
        if (*block == nullptr) return kResultNoMemory;
        live_.insert(*block);
        return kResultOk;
    }

    int Free(void* block) override {
        if (block == nullptr) return kResultNullArgument;
        if (live_.erase(block) == 0) {
            ++strayFrees_; // not ours, or freed twice: left alone
            return kResultOk;
        }
        std::free(block);
        return kResultOk;
    }

    // The armed failure happened.
    bool injected() const { return injected_; }
    // Allocations since the last Arm.
    int counted() const { return counted_; }
    size_t outstanding() const { return live_.size(); }
    int strayFrees() const { return strayFrees_; }
    int allocations() const { return allocations_; }
    int injectedTotal() const { return injectedTotal_; }

private:
    std::set<void*> live_;
    int failAt_ = 0;
    int counted_ = 0;
    bool injected_ = false;
    int injectedTotal_ = 0;
    int allocations_ = 0;
    int strayFrees_ = 0;
};
