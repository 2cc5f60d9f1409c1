// The sweep every allocation-failure test runs: an operation repeated with the 1st, 2nd, 3rd
// ... allocation made to fail, until a run meets no failure. Each run gets a fresh subject
// and a fresh CountingAllocator; the caller checks the run's outcome and the sweep checks
// that nothing is left outstanding and nothing foreign was freed once the subject is gone.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>

#include "tests/faults/counting_allocator.h"

namespace qb::faults {

constexpr int kMaxSweepRuns = 400; // an operation that allocates more than this is a fault too

struct SweepTally {
    int operations = 0;
    int failedAllocations = 0;
};

// run(allocator, failAt): builds the subject with allocator, does its set-up, Arm(failAt),
// runs the operation, Disarm(), checks (allocator.injected() tells whether the failure was
// met), and destroys the subject before returning.
inline void Sweep(const std::string& name, SweepTally* tally,
                  const std::function<void(CountingAllocator&, int)>& run) {
    SCOPED_TRACE(name);
    for (int failAt = 1; failAt <= kMaxSweepRuns; ++failAt) {
        SCOPED_TRACE("allocation " + std::to_string(failAt) + " fails");
        CountingAllocator allocator;
        run(allocator, failAt);
        EXPECT_EQ(allocator.outstanding(), 0u) << "blocks leaked";
        EXPECT_EQ(allocator.strayFrees(), 0) << "blocks freed that were not outstanding";
        if (::testing::Test::HasFatalFailure()) return;
        tally->failedAllocations += allocator.injectedTotal();
        if (!allocator.injected()) {
            ++tally->operations;
            return;
        }
    }
    ADD_FAILURE() << name << " still allocates after " << kMaxSweepRuns << " runs";
}

inline void Report(const char* subject, const SweepTally& tally) {
    std::printf("[ faults   ] %s: %d operations swept, %d allocations failed\n", subject,
                tally.operations, tally.failedAllocations);
}

} // namespace qb::faults
