// Threads, waits, critical sections, Sleep and GetTickCount (with its test controls).
#include <array>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "platform/kernel/light_lock.h"
#include "qb/kernel_test.h"

namespace {

using Clock = std::chrono::steady_clock;

long long millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

struct Gate {
    std::atomic<bool> open{false};
    std::atomic<bool> reachedEnd{false};
    std::atomic<DWORD> seenId{0};
};

DWORD WINAPI waitAtGate(LPVOID parameter) {
    auto* gate = static_cast<Gate*>(parameter);
    gate->seenId = GetCurrentThreadId();
    while (!gate->open) Sleep(1);
    gate->reachedEnd = true;
    return 42;
}

TEST(ThreadsTest, RunsWithItsParameterAndEndsWithItsExitCode) {
    Gate gate;
    DWORD id = 0;
    HANDLE thread = CreateThread(nullptr, 0, waitAtGate, &gate, 0, &id);
    ASSERT_NE(nullptr, thread);
    EXPECT_NE(0u, id);
    EXPECT_NE(GetCurrentThreadId(), id);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(DWORD(STILL_ACTIVE), code);
    gate.open = true;
    EXPECT_EQ(DWORD(WAIT_OBJECT_0), WaitForSingleObject(thread, INFINITE));
    EXPECT_EQ(id, gate.seenId.load());
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(42u, code);
    EXPECT_EQ(DWORD(WAIT_OBJECT_0), WaitForSingleObject(thread, 0)); // stays signalled
    EXPECT_TRUE(CloseHandle(thread));
    EXPECT_EQ(DWORD(WAIT_FAILED), WaitForSingleObject(thread, 0));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
}

TEST(ThreadsTest, WaitTimesOutWhileTheThreadRuns) {
    Gate gate;
    HANDLE thread = CreateThread(nullptr, 0, waitAtGate, &gate, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    const auto start = Clock::now();
    EXPECT_EQ(DWORD(WAIT_TIMEOUT), WaitForSingleObject(thread, 100));
    EXPECT_GE(millisecondsSince(start), 100);
    EXPECT_EQ(DWORD(WAIT_TIMEOUT), WaitForSingleObject(thread, 0));
    gate.open = true;
    EXPECT_EQ(DWORD(WAIT_OBJECT_0), WaitForSingleObject(thread, 5000));
    CloseHandle(thread);
}

TEST(ThreadsTest, ClosedHandleLetsTheThreadRunToItsEnd) {
    Gate gate;
    HANDLE thread = CreateThread(nullptr, 0, waitAtGate, &gate, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    EXPECT_TRUE(CloseHandle(thread));
    gate.open = true;
    const auto start = Clock::now();
    while (!gate.reachedEnd && millisecondsSince(start) < 5000) Sleep(1);
    EXPECT_TRUE(gate.reachedEnd);
    Sleep(20); // let it finish leaving, so the leak check sees it gone
}

void leaveEarly() {
    ExitThread(7);
}

DWORD WINAPI exitsThroughExitThread(LPVOID parameter) {
    leaveEarly();
    static_cast<Gate*>(parameter)->reachedEnd = true; // never reached
    return 1;
}

TEST(ThreadsTest, ExitThreadEndsTheThreadWithItsCode) {
    Gate gate;
    HANDLE thread = CreateThread(nullptr, 0, exitsThroughExitThread, &gate, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    EXPECT_EQ(DWORD(WAIT_OBJECT_0), WaitForSingleObject(thread, 5000));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(7u, code);
    EXPECT_FALSE(gate.reachedEnd);
    CloseHandle(thread);
}

TEST(ThreadsTest, BadArguments) {
    EXPECT_EQ(nullptr, CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
    Gate gate;
    EXPECT_EQ(nullptr, CreateThread(nullptr, 0, waitAtGate, &gate, CREATE_SUSPENDED, nullptr));
    EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(DWORD(WAIT_FAILED), WaitForSingleObject(nullptr, 0));
    EXPECT_EQ(DWORD(WAIT_FAILED), WaitForSingleObject(INVALID_HANDLE_VALUE, 10));
    DWORD code = 0;
    EXPECT_FALSE(GetExitCodeThread(nullptr, &code));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
}

TEST(ThreadsTest, LastErrorBelongsToEachThread) {
    SetLastError(1111);
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID) -> DWORD {
            const DWORD inherited = GetLastError();
            SetLastError(2222);
            return inherited;
        },
        nullptr, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    WaitForSingleObject(thread, INFINITE);
    DWORD code = 99;
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(0u, code);
    EXPECT_EQ(1111u, GetLastError());
    CloseHandle(thread);
}

struct Counter {
    CRITICAL_SECTION lock;
    long value = 0;
};

constexpr int kThreads = 4;
constexpr int kIncrements = 20000;

DWORD WINAPI countUnderLock(LPVOID parameter) {
    auto* counter = static_cast<Counter*>(parameter);
    for (int i = 0; i < kIncrements; ++i) {
        EnterCriticalSection(&counter->lock);
        EnterCriticalSection(&counter->lock); // recursive, as on Windows
        ++counter->value;
        LeaveCriticalSection(&counter->lock);
        LeaveCriticalSection(&counter->lock);
    }
    return 0;
}

TEST(CriticalSectionTest, SerialisesAndIsRecursive) {
    Counter counter;
    InitializeCriticalSection(&counter.lock);
    std::vector<HANDLE> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.push_back(CreateThread(nullptr, 0, countUnderLock, &counter, 0, nullptr));
        ASSERT_NE(nullptr, threads.back());
    }
    for (HANDLE thread : threads) {
        EXPECT_EQ(DWORD(WAIT_OBJECT_0), WaitForSingleObject(thread, INFINITE));
        CloseHandle(thread);
    }
    EXPECT_EQ(long(kThreads) * kIncrements, counter.value);

    // A section one thread enters again and again leans its way (entered with plain stores);
    // another thread still finds it taken, and waits until it is left.
    for (int i = 0; i < 100; ++i) {
        EnterCriticalSection(&counter.lock);
        LeaveCriticalSection(&counter.lock);
    }
    EnterCriticalSection(&counter.lock);
    HANDLE waiter = CreateThread(nullptr, 0, countUnderLock, &counter, 0, nullptr);
    EXPECT_EQ(DWORD(WAIT_TIMEOUT), WaitForSingleObject(waiter, 50));
    const long before = counter.value;
    HANDLE other = CreateThread(
        nullptr, 0,
        [](LPVOID parameter) -> DWORD {
            return TryEnterCriticalSection(&static_cast<Counter*>(parameter)->lock);
        },
        &counter, 0, nullptr);
    WaitForSingleObject(other, INFINITE);
    DWORD entered = 1;
    GetExitCodeThread(other, &entered);
    EXPECT_EQ(DWORD(FALSE), entered);
    CloseHandle(other);
    EXPECT_TRUE(TryEnterCriticalSection(&counter.lock)); // the owner may
    EXPECT_EQ(before, counter.value);
    LeaveCriticalSection(&counter.lock);
    LeaveCriticalSection(&counter.lock);
    EXPECT_EQ(DWORD(WAIT_OBJECT_0), WaitForSingleObject(waiter, INFINITE));
    CloseHandle(waiter);
    EXPECT_EQ(before + kIncrements, counter.value);
    DeleteCriticalSection(&counter.lock);

    // Null sections are ignored rather than crashing.
    EnterCriticalSection(nullptr);
    LeaveCriticalSection(nullptr);
    EXPECT_FALSE(TryEnterCriticalSection(nullptr));
}

// More locks held at once than a thread has lean slots: each one, leaning or not, is still
// taken for every other thread until it is let go, in any order.
TEST(LightLockTest, NestedLocksBeyondTheLeanSlotsStayExclusive) {
    using qb::kernel::LightLock;
    std::array<LightLock, qb::kernel::kLeanSlots + 2> locks;
    for (uint32_t round = 0; round < 2 * qb::kernel::kStreakToLean; ++round) {
        for (auto& lock : locks) lock.lock();
        for (auto& lock : locks) lock.unlock();
    }
    for (auto& lock : locks) lock.lock();
    std::thread([&] {
        for (auto& lock : locks) EXPECT_FALSE(lock.try_lock());
    }).join();
    for (size_t i = locks.size(); i-- > 0;) locks[i].unlock();
    std::thread([&] {
        for (auto& lock : locks) {
            EXPECT_TRUE(lock.try_lock());
            lock.unlock();
        }
    }).join();
    for (auto& lock : locks) EXPECT_TRUE(lock.try_lock()); // the other thread let them go
    for (auto& lock : locks) lock.unlock();
}

TEST(TimeTest, SleepWaitsAndZeroYields) {
    auto start = Clock::now();
    Sleep(0);
    EXPECT_LT(millisecondsSince(start), 1000);
    start = Clock::now();
    Sleep(30);
    EXPECT_GE(millisecondsSince(start), 30);
}

TEST(TimeTest, TickCountFollowsTheMonotonicClock) {
    qb::kernel::TestResetTickCount();
    const DWORD first = GetTickCount();
    Sleep(20);
    const DWORD elapsed = GetTickCount() - first;
    EXPECT_GE(elapsed, 19u);
    EXPECT_LT(elapsed, 5000u);
}

TEST(TimeTest, ElapsedTimeSurvivesTheWrap) {
    // Running clock, moved so that the count wraps 200 ms from now.
    qb::kernel::TestSetTickCountOffset(0);
    const DWORD now = GetTickCount();
    qb::kernel::TestSetTickCountOffset(DWORD(0xFFFFFFFFu - now - 200));
    const DWORD before = GetTickCount();
    Sleep(300);
    const DWORD after = GetTickCount();
    EXPECT_LT(after, before); // wrapped
    EXPECT_GE(DWORD(after - before), 299u);
    EXPECT_LT(DWORD(after - before), 5000u);

    qb::kernel::TestFreezeTickCount(0xFFFFFFF0u);
    EXPECT_EQ(0xFFFFFFF0u, GetTickCount());
    Sleep(5);
    EXPECT_EQ(0xFFFFFFF0u, GetTickCount());
    qb::kernel::TestAdvanceTickCount(0x20);
    EXPECT_EQ(0x10u, GetTickCount());
    EXPECT_EQ(0x20u, DWORD(GetTickCount() - 0xFFFFFFF0u));
    qb::kernel::TestResetTickCount();
}

TEST(TimeTest, TickControlsAreThreadSafe) {
    qb::kernel::TestFreezeTickCount(1000);
    std::vector<HANDLE> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.push_back(CreateThread(
            nullptr, 0,
            [](LPVOID) -> DWORD {
                for (int k = 0; k < 1000; ++k) {
                    qb::kernel::TestAdvanceTickCount(1);
                    (void)GetTickCount();
                }
                return 0;
            },
            nullptr, 0, nullptr));
    }
    for (HANDLE thread : threads) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    EXPECT_EQ(1000u + kThreads * 1000u, GetTickCount());
    qb::kernel::TestResetTickCount();
}

} // namespace
