// The progress texts at their boundaries: hours, minutes and seconds of the remaining time,
// bps, kbps and Mbps of the speed, and the bytes text with unknown and large totals.
#include <gtest/gtest.h>

#include <string>

#include "download/ProgressFormat.h"
#include "download/TransferState.h"

namespace {

std::u16string Text(const WCHAR* text) {
    return std::u16string(text);
}

struct RestCase {
    uint64_t left; // bytes still to come
    uint64_t rate; // bytes per second
    const char16_t* english;
    const char16_t* japanese;
};

TEST(ProgressFormatTest, RemainingTimeAtItsBoundaries) {
    const RestCase cases[] = {
        {3600, 1, u"60m0s", u"60分0秒"},
        {3601, 1, u"1h0m", u"1時間0分"},
        {60, 1, u"60s", u"60秒"},
        {61, 1, u"1m1s", u"1分1秒"},
        {7384 * 3 + 2, 3, u"2h3m", u"2時間3分"}, // whole seconds, cut
        {5000000, 10000000, u"0s", u"0秒"},
        {0, 10, u"0s", u"0秒"},
        {0, 0, u"0s", u"0秒"}, // nothing left needs no rate
        // Above 4 GiB left: 64-bit arithmetic throughout.
        {(uint64_t{1} << 33), uint64_t{1} << 28, u"32s", u"32秒"},
    };
    const uint64_t received = uint64_t{5} << 32;
    for (const RestCase& c : cases) {
        WCHAR text[kProgressTextCapacity] = {};
        FormatRestTime(text, received, received + c.left, c.rate, false);
        EXPECT_EQ(Text(text), c.english) << c.left;
        FormatRestTime(text, received, received + c.left, c.rate, true);
        EXPECT_EQ(Text(text), c.japanese) << c.left;
    }
}

TEST(ProgressFormatTest, RemainingTimeUnknownWithoutTotalOrRate) {
    WCHAR text[kProgressTextCapacity] = {};
    FormatRestTime(text, 10, kUnknownSize, 10, false);
    EXPECT_EQ(Text(text), u"???");
    FormatRestTime(text, 10, 100, 0, false);
    EXPECT_EQ(Text(text), u"???");
}

TEST(ProgressFormatTest, SpeedAtItsBoundaries) {
    struct SpeedCase {
        uint64_t bitsPerSecond;
        const char16_t* text;
    } cases[] = {
        {0, u"0bps"},
        {1024, u"1024bps"},
        {1025, u"1.0kbps"},
        {1996, u"1.9kbps"}, // cut, not rounded
        {1048576, u"1024.0kbps"},
        {1048577, u"1.0Mbps"},
        {(uint64_t{5} << 32), u"20480.0Mbps"},
    };
    for (const SpeedCase& c : cases) {
        WCHAR text[kProgressTextCapacity] = {};
        // Over 8000 ms, bits per second equal the bytes counted.
        ASSERT_TRUE(FormatSpeed(text, c.bitsPerSecond, 100, 8100));
        EXPECT_EQ(Text(text), c.text) << c.bitsPerSecond;
    }
}

// Right after a start or resume the buffered bytes arrive at once: no speed is shown until
// the span is long enough to mean something (an ended transfer shows its own average), and
// what is shown never exceeds the bytes over the time since the start.
TEST(ProgressFormatTest, SpeedWaitsForItsShortestSpan) {
    struct SpanCase {
        uint64_t sinceStart;
        DWORD elapsedMs;
        bool ended;
        const char16_t* text; // "kept": the field is left alone
    } cases[] = {
        {1000, 0, false, u"kept"},
        {1000, 0, true, u"kept"},
        {4u << 20, 5, false, u"kept"}, // 4 MiB from the buffers in 5 ms
        {4u << 20, kShortestSpeedSpanMs - 1, false, u"kept"},
        {4u << 20, kShortestSpeedSpanMs, false, u"64.0Mbps"},
        {(4u << 20) + 200000, 3000, false, u"11.1Mbps"},
        {64000, 250, true, u"1.9Mbps"}, // a short transfer that ended: its average
        {0, kShortestSpeedSpanMs, false, u"0bps"},
    };
    for (const SpanCase& c : cases) {
        WCHAR text[kProgressTextCapacity] = u"kept";
        const DWORD start = 0xFFFFFF00; // across the tick wrap
        const bool shown = FormatSpeed(text, c.sinceStart, start, start + c.elapsedMs, c.ended);
        EXPECT_EQ(shown, std::u16string(c.text) != u"kept") << c.elapsedMs;
        EXPECT_EQ(Text(text), c.text) << c.sinceStart << " in " << c.elapsedMs << " ms";
    }
}

TEST(ProgressFormatTest, BytesAndPercent) {
    WCHAR text[kProgressTextCapacity] = {};
    FormatBytes(text, 12, kUnknownSize);
    EXPECT_EQ(Text(text), u"12/???");
    FormatBytes(text, uint64_t{5} << 32, uint64_t{6} << 32);
    EXPECT_EQ(Text(text), u"21474836480/25769803776");
    EXPECT_EQ(ProgressPercent(uint64_t{5} << 32, uint64_t{6} << 32), 83);
    EXPECT_EQ(ProgressPercent(1, 3), 33);
    EXPECT_EQ(ProgressPercent(5, kUnknownSize), -1);
    EXPECT_EQ(ProgressPercent(0, 0), -1);
}

} // namespace
