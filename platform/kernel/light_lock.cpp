#include "platform/kernel/light_lock.h"

#include <cerrno>
#include <ctime>

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace qb::kernel {
namespace {

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t) &&
              std::atomic<uint32_t>::is_always_lock_free);

// Spins before sleeping: the holders of these locks mostly copy a few bytes.
constexpr int kSpinsBeforeSleep = 100;

void FutexWait(std::atomic<uint32_t>* word, uint32_t expected) {
    timespec limit{0, long{kLightLockRecheckMs} * 1000 * 1000};
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(word), FUTEX_WAIT_PRIVATE, expected, &limit,
            nullptr, 0);
}

void Relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__arm__) || defined(__aarch64__)
    asm volatile("yield");
#endif
}

} // namespace

void LightLock::LockContended() {
    for (int spin = 0; spin < kSpinsBeforeSleep; ++spin) {
        if (state_.load(std::memory_order_relaxed) == kFree && try_lock()) return;
        Relax();
    }
    waiters_.fetch_add(1, std::memory_order_relaxed);
    while (!try_lock()) FutexWait(&state_, kTaken);
    waiters_.fetch_sub(1, std::memory_order_relaxed);
}

void LightLock::WakeOne() {
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(&state_), FUTEX_WAKE_PRIVATE, 1, nullptr,
            nullptr, 0);
}

} // namespace qb::kernel
