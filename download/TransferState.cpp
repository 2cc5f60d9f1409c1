#include "download/TransferState.h"

TransferState gTransfer;

void ResetTransferCounters() {
    gTransfer.totalSize.store(kUnknownSize, std::memory_order_relaxed);
    gTransfer.received.store(0, std::memory_order_relaxed);
    gTransfer.speed.Clear();
}

void RestartSpeedCounting() {
    const DWORD now = GetTickCount();
    gTransfer.speedStartTime.store(now, std::memory_order_relaxed);
    gTransfer.seenReceived = gTransfer.received.load(std::memory_order_relaxed);
    gTransfer.receivedAtSpeedStart = gTransfer.seenReceived;
    gTransfer.seenSince = now;
    gTransfer.retrying = 0;
    gTransfer.speed.Resume(now, gTransfer.seenReceived);
}

void PauseSpeedCounting() {
    gTransfer.speed.Pause(GetTickCount(), gTransfer.received.load(std::memory_order_relaxed));
}
