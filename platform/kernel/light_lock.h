// The lock of the layer's per-call paths (a file handle's calls, a socket's receive buffer,
// a critical section). The download takes three such locks for every 128-byte piece, always
// on the same thread, and a locked instruction on each was most of the program's own time.
//
// So the lock leans towards the thread that takes it again and again: once one thread has
// taken it kStreakToLean times in a row, that thread takes and lets it go with plain stores
// (it marks the lock in a slot of its own, then checks that the lock still leans its way).
// Any other thread takes the lock's word with a compare-and-swap, as every thread does while
// the lock leans nowhere, and first turns the lean away: it clears it, makes every thread of
// the process pass a memory barrier (one membarrier system call) and waits until the old
// owner's slot no longer names the lock. The barrier is what lets the owner do without one.
// Where the system has no such call, the lock never leans.
//
// Waiting: a thread that finds the word taken spins briefly, then sleeps on a futex. Letting
// go stores the free state and then looks for sleepers without a fence between the two, so a
// sleeper that arrives in that instant can miss its wake-up; every sleep therefore ends after
// kLightLockRecheckMs at most. Not recursive; std::lock_guard works with it.
#pragma once

#include <atomic>
#include <cstdint>

namespace qb::kernel {

// The longest a waiter sleeps before it looks at the lock again (a wake-up that went
// missing costs at most this much).
inline constexpr int kLightLockRecheckMs = 50;
// Takes in a row by one thread, without another between them, before the lock leans its way.
inline constexpr uint32_t kStreakToLean = 16;
// Locks one thread can hold at once by leaning (nested); a further one takes the word.
inline constexpr int kLeanSlots = 4;

class LightLock;

// A thread's marks of the leaning locks it holds. Never freed: a lock may still name the
// record of a thread that ended.
struct LeanRecord {
    std::atomic<LightLock*> held[kLeanSlots] = {};
    LeanRecord* next = nullptr; // every record made, for the leak checker's sake
};

namespace internal {
// Defined here, constant-initialised: the inline paths read it without a call.
inline thread_local LeanRecord* tLeanRecord = nullptr;
LeanRecord* MakeLeanRecord();
} // namespace internal

class LightLock {
public:
    LightLock() = default;
    LightLock(const LightLock&) = delete;
    LightLock& operator=(const LightLock&) = delete;

    void lock() {
        if (TakeLeaning()) return;
        uint32_t expected = kFree;
        if (!state_.compare_exchange_strong(expected, kTaken, std::memory_order_acquire,
                                            std::memory_order_relaxed)) {
            LockContended();
        }
        AfterTakingWord(true);
    }
    bool try_lock() {
        if (TakeLeaning()) return true;
        uint32_t expected = kFree;
        if (!state_.compare_exchange_strong(expected, kTaken, std::memory_order_acquire,
                                            std::memory_order_relaxed)) {
            return false;
        }
        return AfterTakingWord(false);
    }
    void unlock() {
        if (LeanRecord* me = internal::tLeanRecord; me != nullptr) {
            for (auto& slot : me->held) {
                if (slot.load(std::memory_order_relaxed) != this) continue;
                slot.store(nullptr, std::memory_order_release);
                if (turning_.load(std::memory_order_relaxed) != 0) WakeTurner();
                return;
            }
        }
        state_.store(kFree, std::memory_order_release);
        if (waiters_.load(std::memory_order_relaxed) != 0) WakeOne();
    }

private:
    static constexpr uint32_t kFree = 0;
    static constexpr uint32_t kTaken = 1;

    // The lock leans this thread's way: marks it held in a free slot. false otherwise.
    bool TakeLeaning() {
        LeanRecord* me = internal::tLeanRecord;
        if (me == nullptr || leansTo_.load(std::memory_order_relaxed) != me) return false;
        for (auto& slot : me->held) {
            if (slot.load(std::memory_order_relaxed) != nullptr) continue;
            slot.store(this, std::memory_order_relaxed);
            // A thread turning the lean away clears it before its barrier: either it sees
            // the mark and waits for it, or this load sees the lean gone.
            std::atomic_signal_fence(std::memory_order_seq_cst);
            if (leansTo_.load(std::memory_order_acquire) == me) return true;
            slot.store(nullptr, std::memory_order_release);
            return false;
        }
        return false;
    }
    // With the word taken: turns a lean towards another thread away (waiting for it to let
    // go, when wait is true) and counts the streak. false when the lock is held by leaning
    // and wait is false: the word is let go again.
    bool AfterTakingWord(bool wait);
    void LockContended();
    void WakeOne();
    void WakeTurner();

    std::atomic<uint32_t> state_{kFree};
    std::atomic<uint32_t> waiters_{0};
    std::atomic<LeanRecord*> leansTo_{nullptr};
    // 1 while a thread waits for the leaning owner to let go, 2 once the owner has.
    std::atomic<uint32_t> turning_{0};
    // With the word taken only: who took it last and how many times in a row.
    LeanRecord* lastTaker_ = nullptr;
    uint32_t streak_ = 0;
};

} // namespace qb::kernel
