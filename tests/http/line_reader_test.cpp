// LineReader: line endings, every kind of source end, the cut line and its skipped rest,
// byte-exact reading with a one-byte buffer, and a buffer that cannot be had.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Results.h"
#include "http/LineReader.h"
#include "tests/transport/FailingAllocator.h"
#include "tests/transport/TestStreams.h"

namespace {

constexpr DWORD kLineCapacity = 64;

struct Line {
    int result;
    std::string text;
    bool cut;
};

// Reads lines until the reader reports the end (or gives up after a few empty pauses).
std::vector<Line> ReadLines(LineReader& reader, DWORD capacity, bool skipCutRest) {
    std::vector<Line> lines;
    for (int i = 0; i < 16; ++i) {
        std::string buffer(capacity + 1, '#');
        DWORD length = capacity;
        BOOL cut = TRUE;
        const int result = reader.ReadLine(buffer.data(), &length, &cut);
        EXPECT_LT(length, capacity);
        EXPECT_EQ(buffer[length], '\0');
        lines.push_back({result, buffer.substr(0, length), cut == TRUE});
        if (cut && skipCutRest) reader.SkipLine();
        if (result < 0) break;
    }
    return lines;
}

TEST(LineReader, SplitsLinesAndDropsOnlyTheCarriageReturnBeforeTheLineFeed) {
    struct Case {
        const char* input;
        SourceEnd end;
        std::vector<Line> lines;
    } cases[] = {
        {"HTTP/1.0 200 OK\r\n",
         SourceEnd::Closed,
         {{kResultOk, "HTTP/1.0 200 OK", false}, {kResultFail, "", false}}},
        {"\r\n", SourceEnd::Closed, {{kResultOk, "", false}, {kResultFail, "", false}}},
        {"a\nb\r\n\n",
         SourceEnd::Closed,
         {{kResultOk, "a", false},
          {kResultOk, "b", false},
          {kResultOk, "", false},
          {kResultFail, "", false}}},
        {"a\rb\r\r\n", SourceEnd::Closed, {{kResultOk, "a\rb\r", false}, {kResultFail, "", false}}},
        {"abc", SourceEnd::Closed, {{kResultFail, "abc", false}}},
        {"abc\r", SourceEnd::Failed, {{kResultFail, "abc", false}}},
    };
    for (const Case& c : cases) {
        for (DWORD bufferSize : {DWORD{1}, DWORD{4}, DWORD{100}}) {
            ScriptedSource source(c.input, 3, c.end);
            LineReader reader(nullptr, bufferSize);
            ASSERT_EQ(reader.Attach(&source), kResultOk);
            const std::vector<Line> lines = ReadLines(reader, kLineCapacity, false);
            ASSERT_EQ(lines.size(), c.lines.size()) << c.input;
            for (size_t i = 0; i < lines.size(); ++i) {
                EXPECT_EQ(lines[i].result, c.lines[i].result) << c.input << " line " << i;
                EXPECT_EQ(lines[i].text, c.lines[i].text) << c.input << " line " << i;
                EXPECT_EQ(lines[i].cut, c.lines[i].cut);
            }
        }
    }
}

TEST(LineReader, PausedSourceGivesWhatCameAsALine) {
    ScriptedSource source("abc", 10, SourceEnd::Paused);
    LineReader reader(nullptr, 1);
    reader.Attach(&source);
    char line[8];
    DWORD length = 8;
    EXPECT_EQ(reader.ReadLine(line, &length, nullptr), kResultOk);
    EXPECT_EQ(length, 3u);
    EXPECT_STREQ(line, "abc");
}

TEST(LineReader, LongLinesAreCutTerminatedAndTheirRestSkipped) {
    struct Case {
        const char* input;
        DWORD capacity;
        std::vector<Line> lines; // with the rest of every cut line skipped
    } cases[] = {
        {"abcdef\nnext\n",
         4,
         {{kResultOk, "abc", true}, {kResultOk, "nex", true}, {kResultFail, "", false}}},
        {"abc\r\nxy\n",
         4,
         {{kResultOk, "abc", false},
          {kResultOk, "xy", false},
          {kResultFail, "", false}}}, // fits exactly
        {"abc\nxy\n",
         4,
         {{kResultOk, "abc", false}, {kResultOk, "xy", false}, {kResultFail, "", false}}},
        {"abc\rX\nxy\n",
         4,
         {{kResultOk, "abc", true}, {kResultOk, "xy", false}, {kResultFail, "", false}}},
        {"ab\r\r\nz\n",
         4,
         {{kResultOk, "ab\r", false}, {kResultOk, "z", false}, {kResultFail, "", false}}},
        {"a\n\n", 1, {{kResultOk, "", true}, {kResultOk, "", false}, {kResultFail, "", false}}},
    };
    for (const Case& c : cases) {
        ScriptedSource source(c.input, 2, SourceEnd::Closed);
        LineReader reader(nullptr, 1);
        reader.Attach(&source);
        const std::vector<Line> lines = ReadLines(reader, c.capacity, true);
        ASSERT_EQ(lines.size(), c.lines.size()) << c.input;
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_EQ(lines[i].result, c.lines[i].result) << c.input << " line " << i;
            EXPECT_EQ(lines[i].text, c.lines[i].text) << c.input << " line " << i;
            EXPECT_EQ(lines[i].cut, c.lines[i].cut) << c.input << " line " << i;
        }
    }
}

TEST(LineReader, OneByteBufferLeavesTheBodyInTheSource) {
    ScriptedSource source("HTTP/1.0 200 OK\r\nContent-Length: 4\r\n\r\nBODY", 1024,
                          SourceEnd::Closed);
    LineReader reader(nullptr, 1);
    ASSERT_EQ(reader.Attach(&source), kResultOk);
    char line[kLineCapacity];
    for (;;) {
        DWORD length = kLineCapacity;
        ASSERT_EQ(reader.ReadLine(line, &length, nullptr), kResultOk);
        if (length == 0) break;
    }
    reader.Detach();
    EXPECT_EQ(source.Rest(), "BODY");
}

TEST(LineReader, SkipLineStopsAtTheLineFeedOrTheEnd) {
    ScriptedSource source("rest of a long line\nBODY", 1, SourceEnd::Closed);
    LineReader reader(nullptr, 1);
    reader.Attach(&source);
    EXPECT_EQ(reader.SkipLine(), kResultOk);
    EXPECT_EQ(source.Rest(), "BODY");
    EXPECT_EQ(reader.SkipLine(), kResultFail);
}

TEST(LineReader, ReadBytesReportsWhatWasDelivered) {
    ScriptedSource source("abcdef", 4, SourceEnd::Closed);
    LineReader reader(nullptr, 3);
    reader.Attach(&source);
    char out[16] = {};
    EXPECT_EQ(reader.ReadBytes(out, nullptr), kResultOk); // no count: one byte
    EXPECT_EQ(out[0], 'a');
    DWORD count = 4;
    EXPECT_EQ(reader.ReadBytes(out, &count), kResultOk);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(std::string(out, 4), "bcde");
    count = 10;
    EXPECT_EQ(reader.ReadBytes(out, &count), kResultFail); // the source ended on the way
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(out[0], 'f');

    ScriptedSource paused("", 4, SourceEnd::Paused);
    LineReader second(nullptr, 8);
    second.Attach(&paused);
    count = 2;
    EXPECT_EQ(second.ReadBytes(out, &count), kResultNo);
    EXPECT_EQ(count, 0u);
}

TEST(LineReader, AttachAndArgumentRules) {
    ScriptedSource source("x\n", 4, SourceEnd::Closed);
    LineReader reader(nullptr, 8);
    char line[4] = {'s', 's', 's', 's'};
    DWORD length = 4;
    EXPECT_EQ(reader.ReadLine(line, &length, nullptr), kResultFail); // detached
    EXPECT_EQ(reader.Attach(&source), kResultOk);
    EXPECT_EQ(reader.Attach(&source), kResultFail); // already attached
    length = 0;
    EXPECT_EQ(reader.ReadLine(line, &length, nullptr), kResultOk); // touches nothing
    EXPECT_EQ(line[0], 's');
    length = 4;
    EXPECT_EQ(reader.ReadLine(line, &length, nullptr), kResultOk);
    EXPECT_STREQ(line, "x");
}

TEST(LineReader, BufferThatCannotBeHadLeavesTheReaderDetached) {
    FailingAllocator allocator(1);
    {
        ScriptedSource source("ok\n", 4, SourceEnd::Closed);
        LineReader reader(&allocator, 16);
        EXPECT_EQ(reader.Attach(&source), kResultNoMemory);
        char line[8];
        DWORD length = 8;
        EXPECT_EQ(reader.ReadLine(line, &length, nullptr), kResultFail); // not attached
        EXPECT_EQ(reader.Attach(&source), kResultOk); // the next allocation succeeds
        EXPECT_EQ(reader.ReadLine(line, &length, nullptr), kResultOk);
        EXPECT_STREQ(line, "ok");
        EXPECT_EQ(allocator.outstanding, 1);
    }
    EXPECT_EQ(allocator.outstanding, 0); // the destructor returned the buffer
}

} // namespace
