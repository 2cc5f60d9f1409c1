// Threads, waits, critical sections, Sleep and GetTickCount (with its test controls).
#include <array>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

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

    // A section one thread enters again and again is still taken for another thread, which
    // waits until it is left.
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

// Several sections held at once by one thread, after many entries of its own: each one is
// still taken for every other thread until it is left, in any order.
TEST(CriticalSectionTest, NestedSectionsStayExclusive) {
    constexpr size_t kSections = 6;
    std::array<CRITICAL_SECTION, kSections> sections;
    for (auto& section : sections) InitializeCriticalSection(&section);
    for (int round = 0; round < 32; ++round) {
        for (auto& section : sections) EnterCriticalSection(&section);
        for (auto& section : sections) LeaveCriticalSection(&section);
    }
    for (auto& section : sections) EnterCriticalSection(&section);
    std::thread([&] {
        for (auto& section : sections) EXPECT_FALSE(TryEnterCriticalSection(&section));
    }).join();
    for (size_t i = sections.size(); i-- > 0;) LeaveCriticalSection(&sections[i]);
    std::thread([&] {
        for (auto& section : sections) {
            EXPECT_TRUE(TryEnterCriticalSection(&section));
            LeaveCriticalSection(&section);
        }
    }).join();
    for (auto& section : sections) EXPECT_TRUE(TryEnterCriticalSection(&section));
    for (auto& section : sections) LeaveCriticalSection(&section);
    for (auto& section : sections) DeleteCriticalSection(&section);
}

// Counts the threads inside a section; a second one inside is an overlap.
struct Occupancy {
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    std::atomic<long> work{0}; // a little time spent inside
    void Enter() {
        if (inside.fetch_add(1) != 0) ++overlaps;
    }
    void Leave() { inside.fetch_sub(1); }
};

// A failed try while another thread is inside leaves the section taken: neither the trying
// thread's next entry nor a stream of tries and entries against a busy owner overlaps it.
TEST(CriticalSectionTest, StaysExclusiveAfterFailedTries) {
    constexpr DWORD kStressMs = 300;
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    Occupancy occupancy;

    for (int i = 0; i < 100; ++i) { // the owner's many entries first
        EnterCriticalSection(&section);
        LeaveCriticalSection(&section);
    }
    EnterCriticalSection(&section);
    occupancy.Enter();
    std::atomic<bool> entered{false};
    std::thread other([&] {
        EXPECT_FALSE(TryEnterCriticalSection(&section));
        EnterCriticalSection(&section);
        occupancy.Enter();
        entered = true;
        occupancy.Leave();
        LeaveCriticalSection(&section);
    });
    Sleep(50);
    EXPECT_FALSE(entered.load()); // still waiting: the owner is inside
    occupancy.Leave();
    LeaveCriticalSection(&section);
    other.join();
    EXPECT_TRUE(entered.load());

    std::atomic<bool> stop{false};
    std::atomic<long> failedTries{0};
    auto inside = [&] {
        occupancy.Enter();
        for (int spin = 0; spin < 50; ++spin)
            occupancy.work.fetch_add(1, std::memory_order_relaxed);
        occupancy.Leave();
        LeaveCriticalSection(&section);
    };
    std::thread owner([&] {
        while (!stop) {
            EnterCriticalSection(&section);
            inside();
        }
    });
    std::thread trier([&] {
        while (!stop) {
            if (!TryEnterCriticalSection(&section)) {
                ++failedTries;
                EnterCriticalSection(&section);
            }
            inside();
        }
    });
    Sleep(kStressMs);
    stop = true;
    owner.join();
    trier.join();
    EXPECT_EQ(0, occupancy.overlaps.load()) << failedTries.load() << " failed tries";
    DeleteCriticalSection(&section);
}

// A thread waiting to enter gets in as soon as the owner leaves, not when a timer runs out.
TEST(CriticalSectionTest, WaiterEntersSoonAfterTheOwnerLeaves) {
    constexpr int kTries = 20;
    constexpr long long kMeanLimitUs = 20000; // generous: a wake-up takes microseconds
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    long long totalUs = 0;
    for (int attempt = 0; attempt < kTries; ++attempt) {
        for (int i = 0; i < 100; ++i) { // the owner's many entries first
            EnterCriticalSection(&section);
            LeaveCriticalSection(&section);
        }
        EnterCriticalSection(&section);
        std::atomic<bool> started{false};
        Clock::time_point enteredAt;
        std::thread waiter([&] {
            started = true;
            EnterCriticalSection(&section);
            enteredAt = Clock::now();
            LeaveCriticalSection(&section);
        });
        while (!started) Sleep(1);
        Sleep(5); // the waiter sleeps in its entry by now
        const Clock::time_point leftAt = Clock::now();
        LeaveCriticalSection(&section);
        waiter.join();
        totalUs +=
            std::chrono::duration_cast<std::chrono::microseconds>(enteredAt - leftAt).count();
    }
    EXPECT_LT(totalUs / kTries, kMeanLimitUs);
    DeleteCriticalSection(&section);
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
