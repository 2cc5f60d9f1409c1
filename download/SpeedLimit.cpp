#include "download/SpeedLimit.h"

namespace {

constexpr int64_t kMillisPerSecond = 1000;

} // namespace

void SpeedLimit::Start(DWORD bytesPerSecond, DWORD now) {
    rate_ = bytesPerSecond;
    last_ = now;
    creditMilli_ = 0;
}

DWORD SpeedLimit::LargestRead(DWORD pieceSize) const {
    if (rate_ == 0) return pieceSize;
    const DWORD share = rate_ / kLimitedReadsPerSecond > 0 ? rate_ / kLimitedReadsPerSecond : 1;
    return share < pieceSize ? share : pieceSize;
}

void SpeedLimit::Credit(DWORD now) {
    // Tick arithmetic wraps with the counter; a milli-byte is a byte for a millisecond.
    const DWORD elapsed = now - last_;
    last_ = now;
    const int64_t burst = static_cast<int64_t>(rate_) * kSpeedLimitBurstMs;
    // Only what fills the credit up to the burst counts: after a long wait at a high rate
    // elapsed * rate would not even fit 64 bits.
    const int64_t room = burst - creditMilli_;
    if (room <= 0 || static_cast<int64_t>(elapsed) >= (room + rate_ - 1) / rate_) {
        creditMilli_ = burst;
    } else {
        creditMilli_ += static_cast<int64_t>(elapsed) * rate_;
    }
}

DWORD SpeedLimit::Spend(DWORD count, DWORD now) {
    if (rate_ == 0) return 0;
    Credit(now);
    creditMilli_ -= static_cast<int64_t>(count) * kMillisPerSecond;
    if (creditMilli_ >= 0) return 0;
    // The debt, paid at the rate, rounded up to whole milliseconds.
    const int64_t owed = -creditMilli_;
    const int64_t waitMs = (owed + rate_ - 1) / rate_;
    return waitMs < kShortestLimitWaitMs ? 0 : static_cast<DWORD>(waitMs);
}
