// Runs one parsed case: starts its servers on 127.0.0.1, prepares a sandbox device (its own
// root and registry file), runs the program once per "run" and checks each run's
// expectations. Every unmet expectation is a GoogleTest failure at the case file's line.
#pragma once

#include <string>

#include "tests/e2e/case_file.h"

namespace qb::test::e2e {

// How long one run of the program may take before it is stopped and the case fails.
inline constexpr int kRunLimitMs = 30000;
// How long the checks wait for a server to record connections the program has made.
inline constexpr int kRecordWaitMs = 2000;

struct CaseContext {
    std::string casePath; // for failure locations
    std::string program;  // the program under test
    // The Windows program, run under Wine instead of program when not empty (WINEPREFIX names
    // the prefix): its arguments are joined into the one command line Windows passes, and its
    // current drive Q: is the sandbox device's root, so device paths land where they do on
    // Linux. Cases that need a terminal are skipped; the proxy setting is imported into Wine's
    // registry.
    std::string windowsProgram;
};

// Runs description; skips the test (GTEST_SKIP) when a server program it needs is not installed.
void runCase(const CaseContext& context, const CaseDescription& description);

} // namespace qb::test::e2e
