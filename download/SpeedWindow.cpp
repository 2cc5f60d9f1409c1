#include "download/SpeedWindow.h"

void SpeedWindow::Clear() {
    *this = SpeedWindow{};
}

void SpeedWindow::Resume(DWORD now, uint64_t received) {
    running_ = true;
    settling_ = true;
    settleFrom_ = now;
    lastReceived_ = received;
}

void SpeedWindow::Pause(DWORD now, uint64_t received) {
    Sample(now, received);
    running_ = false;
}

void SpeedWindow::Sample(DWORD now, uint64_t received) {
    if (!running_) return;
    if (settling_) {
        if (now - settleFrom_ < kSpeedSettleMs) {
            lastReceived_ = received;
            return;
        }
        // Counting starts here: the burst before it is left with the pause.
        settling_ = false;
        lastTick_ = now;
        lastReceived_ = received;
        Push();
        return;
    }
    head_.activeMs += static_cast<DWORD>(now - lastTick_);
    head_.bytes += received >= lastReceived_ ? received - lastReceived_ : received;
    lastTick_ = now;
    lastReceived_ = received;
    Push();
}

void SpeedWindow::Push() {
    if (count_ > 0) {
        const DWORD newest = (first_ + count_ - 1) % kCapacity;
        if (head_.activeMs - points_[newest].activeMs < kSpeedSampleSpacingMs) return;
    }
    if (count_ == kCapacity) {
        first_ = (first_ + 1) % kCapacity;
        --count_;
    }
    points_[(first_ + count_) % kCapacity] = head_;
    ++count_;
}

bool SpeedWindow::BytesPerSecond(uint64_t* rate) const {
    // The newest point at least a window old (a long gap between samples leaves one), else
    // the oldest there is.
    const Point* from = nullptr;
    for (DWORD i = 0; i < count_; ++i) {
        const Point& p = points_[(first_ + i) % kCapacity];
        if (from != nullptr && head_.activeMs - p.activeMs < kSpeedWindowMs) break;
        from = &p;
    }
    if (from == nullptr) return false;
    const uint64_t span = head_.activeMs - from->activeMs;
    if (span < kSpeedWindowShortestMs) return false;
    *rate = (head_.bytes - from->bytes) * 1000 / span;
    return true;
}
