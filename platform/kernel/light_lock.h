// The lock of the layer's per-call paths (a file handle's calls, a socket's receive buffer,
// a critical section): a free lock is taken with one compare-and-swap and let go with one
// plain store, where a pthread mutex spends a locked instruction on each. The download
// takes three such locks for every 128-byte piece, so that instruction was a third of the
// program's own time.
//
// A thread that finds it taken counts itself a waiter and sleeps on a futex. Letting go
// stores the free state and then looks for waiters without a fence between the two, so a
// waiter that arrives in that instant can miss its wake-up; it therefore sleeps at most
// kLightLockRecheckMs before it looks again. Not recursive; std::lock_guard works with it.
#pragma once

#include <atomic>
#include <cstdint>

namespace qb::kernel {

// The longest a waiter sleeps before it looks at the lock again (a wake-up that went
// missing costs at most this much).
inline constexpr int kLightLockRecheckMs = 50;

class LightLock {
public:
    LightLock() = default;
    LightLock(const LightLock&) = delete;
    LightLock& operator=(const LightLock&) = delete;

    void lock() {
        uint32_t expected = kFree;
        if (!state_.compare_exchange_strong(expected, kTaken, std::memory_order_acquire,
                                            std::memory_order_relaxed)) {
            LockContended();
        }
    }
    bool try_lock() {
        uint32_t expected = kFree;
        return state_.compare_exchange_strong(expected, kTaken, std::memory_order_acquire,
                                              std::memory_order_relaxed);
    }
    void unlock() {
        state_.store(kFree, std::memory_order_release);
        if (waiters_.load(std::memory_order_relaxed) != 0) WakeOne();
    }

private:
    static constexpr uint32_t kFree = 0;
    static constexpr uint32_t kTaken = 1;

    void LockContended();
    void WakeOne();

    std::atomic<uint32_t> state_{kFree};
    std::atomic<uint32_t> waiters_{0};
};

} // namespace qb::kernel
