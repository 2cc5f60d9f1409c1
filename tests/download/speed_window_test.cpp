// The speed's window of recent unpaused time, driven by recorded transfers: a link's rate is
// shown once the window holds a second, a pause is left out however long it was, and the
// burst of bytes that waited in the socket's buffers during a pause (or during the question
// about an existing file) never shows as speed.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "download/SpeedWindow.h"

namespace {

constexpr uint64_t kLink = 300000;            // bytes per second: a 2.4 Mbps link
constexpr uint64_t kKernelBuffers = 4u << 20; // what waits unread after a long pause
constexpr int64_t kNone = -1;                 // no rate shown
constexpr DWORD kStepMs = 100;                // how often the link delivers
constexpr DWORD kRedrawMs = 500;              // how often the dialog samples

struct Phase {
    DWORD ms;
    uint64_t rate; // of the link while it lasts
    bool paused;
    uint64_t burst;   // arrives as the phase begins
    int64_t expected; // bytes per second shown at its end (within 3%), or kNone
};

struct Recording {
    const char* name;
    std::vector<Phase> phases;
};

const Recording kRecordings[] = {
    {"steady link: nothing until a second is measured",
     {{1000, kLink, false, 0, kNone}, {1000, kLink, false, 0, kLink}}},
    {"80 s pause then the buffers' burst",
     {{10000, kLink, false, 0, kLink},
      {80000, 0, true, 0, kLink},
      {500, kLink, false, kKernelBuffers, kLink},
      {500, kLink, false, 0, kLink},
      {4000, kLink, false, 0, kLink},
      {15000, kLink, false, 0, kLink}}},
    {"10 s pause, the burst right after Resume",
     {{3000, kLink, false, 0, kLink},
      {10000, 0, true, 0, kLink},
      {1000, kLink, false, 3 * kLink * 10, kLink}}},
    {"the body that waited behind the file-exists question",
     {{1000, kLink, false, 2u << 20, kNone}, {1000, kLink, false, 0, kLink}}},
    {"a stall is time with no bytes", {{6000, kLink, false, 0, kLink}, {5500, 0, false, 0, 0}}},
    {"older than the window is forgotten",
     {{10000, 4 * kLink, false, 0, 4 * kLink}, {6000, kLink, false, 0, kLink}}},
};

TEST(SpeedWindow, RecordedTransfers) {
    for (const Recording& r : kRecordings) {
        SCOPED_TRACE(r.name);
        SpeedWindow window;
        DWORD tick = 0xFFFFF000; // across the tick wrap
        uint64_t received = 0;
        bool paused = false;
        window.Resume(tick, received);
        size_t index = 0;
        for (const Phase& p : r.phases) {
            SCOPED_TRACE(index++);
            if (p.paused && !paused) window.Pause(tick, received);
            if (!p.paused && paused) window.Resume(tick, received);
            paused = p.paused;
            received += p.burst;
            for (DWORD at = kStepMs; at <= p.ms; at += kStepMs) {
                tick += kStepMs;
                received += p.rate * kStepMs / 1000;
                if (at % kRedrawMs == 0 && !paused) window.Sample(tick, received);
            }
            uint64_t rate = 0;
            const bool shown = window.BytesPerSecond(&rate);
            if (p.expected == kNone) {
                EXPECT_FALSE(shown) << rate;
                continue;
            }
            ASSERT_TRUE(shown);
            const double expected = static_cast<double>(p.expected);
            EXPECT_NEAR(static_cast<double>(rate), expected, expected * 0.03 + 1);
        }
    }
}

// The file started over (a try answered with the whole resource): the count falls, and the
// bytes of the new file count from nothing, not as a huge difference.
TEST(SpeedWindow, ACountThatFallsCountsFromNothing) {
    SpeedWindow window;
    window.Resume(0, 5000000);
    window.Sample(kSpeedSettleMs, 5000000);
    window.Sample(kSpeedSettleMs + 1000, 5100000);
    window.Sample(kSpeedSettleMs + 2000, 100000); // 100 000 bytes of the new file
    uint64_t rate = 0;
    ASSERT_TRUE(window.BytesPerSecond(&rate));
    EXPECT_EQ(rate, 100000u);
    window.Clear();
    EXPECT_FALSE(window.BytesPerSecond(&rate));
}

} // namespace
