// Sleep and GetTickCount, with the test controls of qb/kernel_test.h.
#include <atomic>
#include <cerrno>
#include <ctime>
#include <sched.h>

#include <windows.h>

#include "qb/kernel_test.h"

namespace {

constexpr int64_t kMillisecondsPerSecond = 1000;
constexpr int64_t kNanosecondsPerMillisecond = 1000000;

// Low 32 bits: the frozen count or the offset; kFrozen marks a frozen clock. One word, so
// that GetTickCount reads mode and value together without a lock.
constexpr uint64_t kFrozen = uint64_t{1} << 32;
std::atomic<uint64_t> gTickControl{0};

DWORD MonotonicMilliseconds() {
    struct timespec now;
    // The coarse clock (a few milliseconds, finer than the Windows count's 10-16 ms) is read
    // without a system call's worth of work; the receive loop reads it for every piece.
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    const uint64_t ms = uint64_t(now.tv_sec) * kMillisecondsPerSecond +
                        uint64_t(now.tv_nsec) / kNanosecondsPerMillisecond;
    return DWORD(ms); // wraps every 2^32 ms, as the Windows count does
}

} // namespace

DWORD WINAPI GetTickCount(void) {
    const uint64_t control = gTickControl.load(std::memory_order_acquire);
    if (control & kFrozen) return DWORD(control);
    return DWORD(MonotonicMilliseconds() + DWORD(control));
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == 0) {
        sched_yield();
        return;
    }
    for (;;) {
        // INFINITE sleeps a long time, again and again.
        struct timespec left = {time_t(dwMilliseconds / kMillisecondsPerSecond),
                                long(dwMilliseconds % kMillisecondsPerSecond) *
                                    long(kNanosecondsPerMillisecond)};
        while (nanosleep(&left, &left) != 0 && errno == EINTR) {}
        if (dwMilliseconds != INFINITE) return;
    }
}

namespace qb::kernel {

void TestFreezeTickCount(DWORD ticks) {
    gTickControl.store(kFrozen | ticks, std::memory_order_release);
}

void TestAdvanceTickCount(DWORD milliseconds) {
    uint64_t control = gTickControl.load(std::memory_order_relaxed);
    uint64_t next;
    do {
        next = (control & kFrozen) | DWORD(DWORD(control) + milliseconds);
    } while (!gTickControl.compare_exchange_weak(control, next, std::memory_order_acq_rel));
}

void TestSetTickCountOffset(DWORD offset) {
    gTickControl.store(offset, std::memory_order_release);
}

void TestResetTickCount() {
    gTickControl.store(0, std::memory_order_release);
}

} // namespace qb::kernel
