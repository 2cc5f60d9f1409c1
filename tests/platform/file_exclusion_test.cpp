// Exclusive opens under contention: threads of this process opening one file at the same
// moment, and a writer in another process (platform_file_holder) holding it.
#include <barrier>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "sandbox.h"
#include "tests/support/process.h"

namespace {

using namespace std::chrono_literals;

constexpr int kThreads = 4;
constexpr int kRounds = 200;
// Handles each thread opens at once in one round of the registration test.
constexpr int kHandlesPerThread = 64;
constexpr int kRegistrationRounds = 40;
constexpr auto kHolderStartLimit = 10s;

HANDLE Open(const char16_t* path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileW(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Threads open one file with share mode 0 at once, round after round: each round exactly
// one holds it and the others get the sharing violation. A writer writes its tag at once,
// so a refused CREATE_ALWAYS that emptied the file would show in what is left.
TEST(FileExclusion, ExclusiveOpensAtOnceLeaveOneWinner) {
    struct Case {
        const char* name;
        DWORD access;
        DWORD disposition;
    };
    const Case cases[] = {
        {"readers", GENERIC_READ, OPEN_EXISTING},
        // A reader that empties the file does so between the sharing check and its record:
        // the widest gap a missing lock would leave open. The file is filled every round.
        {"readers that empty it", GENERIC_READ, CREATE_ALWAYS},
        {"writers", GENERIC_WRITE, CREATE_ALWAYS},
        {"readers and writers", GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Sandbox sandbox;
        // As long as every tag: a writer that does not truncate still leaves its tag alone.
        sandbox.writeFile("contended", "tag -");
        const bool writes = (c.access & GENERIC_WRITE) != 0;
        std::vector<HANDLE> handles(kThreads, INVALID_HANDLE_VALUE);
        std::vector<DWORD> errors(kThreads, 0);
        int badRounds = 0, wrongErrors = 0, lostTags = 0;
        std::string expected = "tag -";
        // Runs once per round when every thread has tried: counts, checks, lets go.
        auto judge = [&]() noexcept {
            int winners = 0;
            for (int i = 0; i < kThreads; ++i) {
                if (handles[i] != INVALID_HANDLE_VALUE) {
                    ++winners;
                    if (writes) expected = "tag " + std::to_string(i);
                    CloseHandle(handles[i]);
                    handles[i] = INVALID_HANDLE_VALUE;
                } else if (errors[i] != ERROR_SHARING_VIOLATION) {
                    ++wrongErrors;
                }
            }
            if (winners != 1) ++badRounds;
            if (writes && sandbox.readFile("contended") != expected) ++lostTags;
            if (!writes) sandbox.writeFile("contended", expected);
        };
        std::barrier start(kThreads);
        std::barrier end(kThreads, judge);
        std::vector<std::thread> threads;
        for (int i = 0; i < kThreads; ++i) {
            threads.emplace_back([&, i] {
                const std::string tag = "tag " + std::to_string(i);
                for (int round = 0; round < kRounds; ++round) {
                    start.arrive_and_wait();
                    SetLastError(0);
                    handles[i] = Open(u"contended", c.access, 0, c.disposition);
                    errors[i] = GetLastError();
                    if (writes && handles[i] != INVALID_HANDLE_VALUE) {
                        DWORD put = 0;
                        WriteFile(handles[i], tag.data(), DWORD(tag.size()), &put, nullptr);
                    }
                    end.arrive_and_wait();
                }
            });
        }
        for (std::thread& thread : threads) thread.join();
        EXPECT_EQ(badRounds, 0) << "rounds of " << kRounds << " without exactly one holder";
        EXPECT_EQ(wrongErrors, 0) << "refusals other than the sharing violation";
        EXPECT_EQ(lostTags, 0) << "rounds whose winner's bytes did not survive";
    }
}

// Threads open shared handles of one file at the same time, so that their holders are
// recorded at once (the sharing table's lock keeps each record whole). Every handle but one
// is then closed: the one left must still keep an exclusive open out, and once it is closed
// too the exclusive open must succeed. A record lost to a racing one would let the exclusive
// open in while the last handle is held; a record never let go would keep it out for good.
TEST(FileExclusion, HoldersOpenedAtOnceAreEachRecorded) {
    Sandbox sandbox;
    sandbox.writeFile("shared", "data");
    for (int round = 0; round < kRegistrationRounds; ++round) {
        SCOPED_TRACE(round);
        std::vector<std::vector<HANDLE>> held(kThreads);
        std::barrier start(kThreads);
        std::vector<std::thread> threads;
        for (int i = 0; i < kThreads; ++i) {
            threads.emplace_back([&held, &start, i] {
                start.arrive_and_wait();
                for (int n = 0; n < kHandlesPerThread; ++n) {
                    held[i].push_back(
                        Open(u"shared", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING));
                }
            });
        }
        for (std::thread& thread : threads) thread.join();
        std::vector<HANDLE> all;
        for (const auto& handles : held) all.insert(all.end(), handles.begin(), handles.end());
        for (HANDLE handle : all) ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        for (size_t n = 1; n < all.size(); ++n) CloseHandle(all[n]);

        HANDLE exclusive = Open(u"shared", GENERIC_WRITE, 0, OPEN_EXISTING);
        EXPECT_EQ(exclusive, INVALID_HANDLE_VALUE) << "opened while a reader still holds it";
        if (exclusive != INVALID_HANDLE_VALUE) CloseHandle(exclusive);
        CloseHandle(all[0]);
        exclusive = Open(u"shared", GENERIC_WRITE, 0, OPEN_EXISTING);
        ASSERT_NE(exclusive, INVALID_HANDLE_VALUE) << "refused after every reader closed";
        CloseHandle(exclusive);
    }
}

// A writer in another process holds the file with the given share mode: a writer here is
// refused with the sharing violation, a refused CREATE_ALWAYS leaves the holder's bytes, and
// once the holder is gone the same open succeeds.
TEST(FileExclusion, AWriterInAnotherProcessHoldsTheFile) {
    struct Case {
        DWORD holderShare;
        DWORD ourShare;
        DWORD disposition;
    };
    const Case cases[] = {
        {0, 0, OPEN_EXISTING},
        {FILE_SHARE_READ, FILE_SHARE_READ, CREATE_ALWAYS}, // the file stream's own mode
        {FILE_SHARE_READ, 0, OPEN_ALWAYS},
        {FILE_SHARE_READ | FILE_SHARE_DELETE, 0, TRUNCATE_EXISTING},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("holder share " + std::to_string(c.holderShare) + ", ours " +
                     std::to_string(c.ourShare) + ", disposition " + std::to_string(c.disposition));
        Sandbox sandbox;
        qb::test::ChildProcess holder;
        ASSERT_TRUE(holder.start(QB_FILE_HOLDER,
                                 {"held.bin", std::to_string(c.holderShare), "holder's bytes"}))
            << holder.error();
        ASSERT_TRUE(holder.waitForOutput("held", kHolderStartLimit)) << holder.errors();

        SetLastError(0);
        HANDLE second = Open(u"held.bin", GENERIC_WRITE, c.ourShare, c.disposition);
        EXPECT_EQ(second, INVALID_HANDLE_VALUE) << "a second writer got the file";
        EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
        if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
        EXPECT_EQ(sandbox.readFile("held.bin"), "holder's bytes");

        holder.stop();
        second = Open(u"held.bin", GENERIC_WRITE, c.ourShare, c.disposition);
        EXPECT_NE(second, INVALID_HANDLE_VALUE) << "still refused after the holder ended";
        if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
    }
}

} // namespace
