// Test-only controls of platform/kernel: the time GetTickCount reports. Thread-safe; the
// window layer's test hook builds on these. Production code never calls them.
#pragma once

#include "win/types.h"

namespace qb::kernel {

// GetTickCount returns ticks from now on, until advanced, offset or reset.
void TestFreezeTickCount(DWORD ticks);
// Moves the frozen count forward, or the running clock's offset when not frozen; wraps
// as the 32-bit count does.
void TestAdvanceTickCount(DWORD milliseconds);
// The running clock plus offset (wrapping): e.g. 0xFFFFFFFF - GetTickCount() + 1 puts the
// wrap just ahead. Unfreezes.
void TestSetTickCountOffset(DWORD offset);
// The real clock again, without offset.
void TestResetTickCount();

} // namespace qb::kernel
