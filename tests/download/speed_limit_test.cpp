// The bandwidth cap on a simulated clock: the average over the transfer stays within 5% of
// the cap for any piece size and read speed, waits are either none or long enough to be
// worth a sleep, reads stay small enough for the count to move, and a long gap (a pause, a
// slow server) buys no burst beyond the credit's cap.
#include <gtest/gtest.h>

#include <cstdint>

#include "download/SpeedLimit.h"

namespace {

struct Simulated {
    uint64_t elapsedMs = 0;
    DWORD longestWaitMs = 0;
    DWORD shortestWaitMs = 0xFFFFFFFF;
    DWORD largestRead = 0;
};

// Receives bytes in reads of at most piece bytes, each taking readMs, waiting as told.
Simulated Transfer(DWORD rate, DWORD piece, uint64_t bytes, DWORD readMs, DWORD startTick) {
    SpeedLimit limit;
    DWORD now = startTick;
    limit.Start(rate, now);
    Simulated run;
    run.largestRead = limit.LargestRead(piece);
    for (uint64_t left = bytes; left > 0;) {
        const DWORD count = left < run.largestRead ? DWORD(left) : run.largestRead;
        now += readMs;
        run.elapsedMs += readMs;
        left -= count;
        const DWORD wait = limit.Spend(count, now);
        if (wait > 0) {
            if (wait > run.longestWaitMs) run.longestWaitMs = wait;
            if (wait < run.shortestWaitMs) run.shortestWaitMs = wait;
        }
        now += wait;
        run.elapsedMs += wait;
    }
    return run;
}

TEST(SpeedLimit, KeepsTheAverageNearTheCapForAnyPieceSize) {
    const struct {
        DWORD rate;
        DWORD piece;
        uint64_t bytes;
        DWORD readMs;
        DWORD startTick; // near the counter's wrap too
    } cases[] = {
        {409600, 128, 4096000, 0, 0},
        {409600, 65536, 4096000, 0, 0},
        {409600, 65536, 4096000, 1, 0xFFFFF000},
        {1024, 65536, 10240, 0, 0},
        {1024, 128, 10240, 3, 0},
        {10 * 1048576, 65536, 104857600, 0, 12345},
        {7, 128, 70, 0, 0}, // slower than one byte per read interval
        {3000000000u, 65536, 30000000000ull, 0, 0},
    };
    for (const auto& c : cases) {
        const Simulated run = Transfer(c.rate, c.piece, c.bytes, c.readMs, c.startTick);
        const double expectedMs = double(c.bytes) * 1000.0 / c.rate;
        EXPECT_GE(double(run.elapsedMs), expectedMs * 0.95) << c.rate << " " << c.piece;
        EXPECT_LE(double(run.elapsedMs), expectedMs * 1.05) << c.rate << " " << c.piece;
        if (run.longestWaitMs > 0) {
            EXPECT_GE(run.shortestWaitMs, kShortestLimitWaitMs);
        }
        // A read brings at most a tenth of a second's worth: the count moves as uncapped.
        EXPECT_LE(run.largestRead, c.rate / kLimitedReadsPerSecond > 0 ? c.rate / 10 : 1);
        EXPECT_GE(run.largestRead, 1u);
        // A wait pays for one read at most (or one byte, below ten bytes a second).
        const DWORD oneByteMs = 1000 / c.rate + 1;
        const DWORD longest = 1000 / kLimitedReadsPerSecond + kShortestLimitWaitMs * 2;
        EXPECT_LE(run.longestWaitMs, oneByteMs > longest ? oneByteMs : longest)
            << c.rate << " " << c.piece;
    }
}

TEST(SpeedLimit, SlowReadsAreNotHeldBackAndGapsBuyNoBurst) {
    SpeedLimit limit;
    limit.Start(1000, 0);
    // Reads slower than the cap never wait.
    DWORD now = 0;
    for (int i = 0; i < 20; ++i) {
        now += 200;
        EXPECT_EQ(limit.Spend(100, now), 0u);
    }
    // After a gap of a minute only the burst's credit (100 ms of the cap) is left: then 900
    // bytes more owe 900 ms.
    now += 60000;
    EXPECT_EQ(limit.Spend(100, now), 0u);
    EXPECT_EQ(limit.Spend(900, now), 900u);
    // The highest cap after a wait of 49 days: the credit is the burst, no overflow.
    SpeedLimit fast;
    fast.Start(0xFFFFFFFFu, 0);
    EXPECT_EQ(fast.Spend(65536, 0xFFFFFFF0u), 0u);
    // No cap: never a wait, reads as large as the piece.
    SpeedLimit none;
    none.Start(0, 0);
    EXPECT_FALSE(none.Active());
    EXPECT_EQ(none.LargestRead(65536), 65536u);
    EXPECT_EQ(none.Spend(65536, 0), 0u);
}

} // namespace
