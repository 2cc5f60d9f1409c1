// The rate shown as the speed, and the remaining time taken from it: bytes over the last
// kSpeedWindowMs of unpaused time, as a pure unit fed with ticks and counts so that a
// recorded transfer can drive it. Paused time is left out entirely: the clock of the window
// stops at Pause and goes on at Resume. The bytes that waited in the socket's buffers (and a
// server's catching up with its own rate limit) arrive in a burst right after a start or a
// resume; they belong to the time nothing was read, so what arrives within kSpeedSettleMs of
// a start or resume counts neither as bytes nor as time.
#pragma once

#include <cstdint>

#include <windows.h>

// The span of unpaused time the rate is taken over.
constexpr DWORD kSpeedWindowMs = 5000;
// No rate until the window holds this much unpaused time.
constexpr DWORD kSpeedWindowShortestMs = 1000;
// The span after a start or resume whose bytes belong to the pause before it.
constexpr DWORD kSpeedSettleMs = 500;
// Samples closer together than this update the newest one instead of adding one.
constexpr DWORD kSpeedSampleSpacingMs = 250;

class SpeedWindow {
public:
    // A new download: nothing measured, not running.
    void Clear();
    // Counting goes on (a start or a resume) once kSpeedSettleMs have passed.
    void Resume(DWORD now, uint64_t received);
    // The time until the next Resume is left out.
    void Pause(DWORD now, uint64_t received);
    // The count at tick now, while running. A count below the last one means that the file
    // started over: every byte of it is new.
    void Sample(DWORD now, uint64_t received);
    // Bytes per second over the window; false while it holds less than
    // kSpeedWindowShortestMs of unpaused time.
    bool BytesPerSecond(uint64_t* rate) const;

private:
    struct Point {
        uint64_t activeMs; // unpaused, settled time
        uint64_t bytes;    // bytes counted in that time
    };
    static constexpr DWORD kCapacity = kSpeedWindowMs / kSpeedSampleSpacingMs + 2;
    void Push();

    Point points_[kCapacity] = {};
    DWORD first_ = 0; // the oldest point
    DWORD count_ = 0;
    Point head_ = {}; // now
    bool running_ = false;
    bool settling_ = false;
    DWORD settleFrom_ = 0;
    DWORD lastTick_ = 0;
    uint64_t lastReceived_ = 0;
};
