// The bandwidth cap of a download (MaxSpeed): a token bucket over the elapsed time. Credit
// grows at the cap's rate up to kSpeedLimitBurstMs of it; each piece received spends its
// bytes, and a debt of kShortestLimitWaitMs or more is waited out before the next read. Any
// piece size works: a piece larger than the credit is a debt, and reads are held to a
// tenth of a second's worth of bytes so that the count moves as often as without a cap.
#pragma once

#include <cstdint>

#include <windows.h>

constexpr DWORD kSpeedLimitBurstMs = 100;    // credit kept while the reads are slower
constexpr DWORD kShortestLimitWaitMs = 10;   // smaller debts wait with the next ones
constexpr DWORD kLimitedReadsPerSecond = 10; // a read brings at most rate / this bytes

class SpeedLimit {
public:
    // bytesPerSecond 0: no cap. The credit starts empty at tick now.
    void Start(DWORD bytesPerSecond, DWORD now);
    bool Active() const { return rate_ != 0; }
    // The most a read may bring (at least 1 byte), given the size of the receive piece.
    DWORD LargestRead(DWORD pieceSize) const;
    // count bytes arrived at tick now: the milliseconds to wait before the next read.
    DWORD Spend(DWORD count, DWORD now);

private:
    void Credit(DWORD now);

    DWORD rate_ = 0;
    DWORD last_ = 0;
    // Bytes that may be read now, in thousandths of a byte (negative: owed).
    int64_t creditMilli_ = 0;
};
