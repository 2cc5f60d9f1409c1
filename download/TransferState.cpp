#include "download/TransferState.h"

TransferState gTransfer;

void ResetTransferCounters() {
    gTransfer.totalSize.store(kUnknownSize, std::memory_order_relaxed);
    gTransfer.received.store(0, std::memory_order_relaxed);
}

void RestartSpeedCounting() {
    gTransfer.bytesSinceSpeedStart.store(0, std::memory_order_relaxed);
    gTransfer.speedStartTime.store(GetTickCount(), std::memory_order_relaxed);
}
