#include "platform/kernel/light_lock.h"

#include <cerrno>
#include <ctime>

#include <linux/futex.h>
#include <linux/membarrier.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace qb::kernel {

namespace {

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t) &&
              std::atomic<uint32_t>::is_always_lock_free);

// Spins before sleeping: the holders of these locks mostly copy a few bytes.
constexpr int kSpinsBeforeSleep = 100;

std::atomic<LeanRecord*> gLeanRecords{nullptr};

void Relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__arm__) || defined(__aarch64__)
    asm volatile("yield");
#endif
}

void FutexWait(std::atomic<uint32_t>* word, uint32_t expected) {
    timespec limit{0, long{kLightLockRecheckMs} * 1000 * 1000};
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAIT_PRIVATE, expected, &limit,
            nullptr, 0);
}

void FutexWake(std::atomic<uint32_t>* word) {
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr,
            0);
}

// Whether locks may lean: the process could register for the expedited barrier.
bool LeaningAvailable() {
    static const bool available =
        syscall(SYS_membarrier, MEMBARRIER_CMD_REGISTER_PRIVATE_EXPEDITED, 0, 0) == 0;
    return available;
}

// Every running thread of the process passes a full memory barrier.
void BarrierOnEveryThread() {
    syscall(SYS_membarrier, MEMBARRIER_CMD_PRIVATE_EXPEDITED, 0, 0);
}

bool Holds(const LeanRecord* record, const LightLock* lock) {
    for (const auto& slot : record->held) {
        if (slot.load(std::memory_order_acquire) == lock) return true;
    }
    return false;
}

} // namespace

namespace internal {

LeanRecord* MakeLeanRecord() {
    auto* record = new LeanRecord;
    record->next = gLeanRecords.load(std::memory_order_relaxed);
    while (!gLeanRecords.compare_exchange_weak(record->next, record, std::memory_order_release,
                                               std::memory_order_relaxed)) {}
    tLeanRecord = record;
    return record;
}

} // namespace internal

bool LightLock::AfterTakingWord(bool wait) {
    LeanRecord* me = internal::tLeanRecord;
    if (me == nullptr) me = internal::MakeLeanRecord();
    LeanRecord* owner = leansTo_.load(std::memory_order_relaxed);
    if (owner != nullptr && owner != me) {
        // Turns the lean away: after the barrier the owner either shows its mark here or
        // finds the lean gone at its next take.
        turning_.store(1, std::memory_order_relaxed);
        leansTo_.store(nullptr, std::memory_order_relaxed);
        BarrierOnEveryThread();
        while (Holds(owner, this)) {
            if (!wait) {
                turning_.store(0, std::memory_order_relaxed);
                unlock();
                return false;
            }
            FutexWait(&turning_, 1);
        }
        turning_.store(0, std::memory_order_relaxed);
        owner = nullptr;
        lastTaker_ = nullptr;
    }
    if (lastTaker_ == me) {
        ++streak_;
    } else {
        lastTaker_ = me;
        streak_ = 1;
    }
    if (streak_ >= kStreakToLean && owner == nullptr &&
        waiters_.load(std::memory_order_relaxed) == 0 && LeaningAvailable()) {
        leansTo_.store(me, std::memory_order_release);
    }
    return true;
}

void LightLock::LockContended() {
    for (int spin = 0; spin < kSpinsBeforeSleep; ++spin) {
        uint32_t expected = kFree;
        if (state_.load(std::memory_order_relaxed) == kFree &&
            state_.compare_exchange_strong(expected, kTaken, std::memory_order_acquire,
                                           std::memory_order_relaxed)) {
            return;
        }
        Relax();
    }
    waiters_.fetch_add(1, std::memory_order_relaxed);
    for (;;) {
        uint32_t expected = kFree;
        if (state_.compare_exchange_strong(expected, kTaken, std::memory_order_acquire,
                                           std::memory_order_relaxed)) {
            break;
        }
        FutexWait(&state_, kTaken);
    }
    waiters_.fetch_sub(1, std::memory_order_relaxed);
}

void LightLock::WakeOne() {
    FutexWake(&state_);
}

void LightLock::WakeTurner() {
    turning_.store(2, std::memory_order_relaxed);
    FutexWake(&turning_);
}

} // namespace qb::kernel
