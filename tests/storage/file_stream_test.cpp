// FileStream over a sandbox device: opening never creates, the name rules, seeking (64-bit
// positions, bad origins), reads and writes, flushing and the closed-stream answers.
#include <gtest/gtest.h>

#include <string>

#include "base/Results.h"
#include "sandbox.h"
#include "storage/FileStream.h"
#include "tests/support/file_size_limit.h"

namespace {

std::u16string NameOf(FileStream& stream) {
    WCHAR name[64] = {};
    if (stream.GetName(name, 64) != kResultOk) return u"<none>";
    return name;
}

TEST(FileStreamTest, OpenNeverCreatesAndLeavesStreamClosed) {
    Sandbox box;
    ASSERT_TRUE(box.valid());
    FileStream stream;
    EXPECT_EQ(stream.Open(u"\\missing.bin", FALSE), kResultFail);
    EXPECT_FALSE(stream.IsOpen());
    EXPECT_FALSE(box.read("missing.bin").has_value());
    EXPECT_EQ(stream.CloseFile(), kResultNo);
}

TEST(FileStreamTest, NameIsTextAfterLastSeparator) {
    Sandbox box;
    ASSERT_TRUE(box.makeFolder("dir/sub"));
    ASSERT_TRUE(box.write("dir/sub/file.bin", "x"));
    ASSERT_TRUE(box.write("plain.bin", "x"));
    const struct {
        const char16_t* path;
        const char16_t* name;
    } cases[] = {
        {u"\\dir\\sub\\file.bin", u"file.bin"},
        {u"dir/sub/file.bin", u"file.bin"},
        {u"\\dir/sub\\file.bin", u"file.bin"},
        {u"plain.bin", u"plain.bin"},
    };
    FileStream stream;
    for (const auto& c : cases) {
        ASSERT_EQ(stream.Open(c.path, TRUE), kResultOk);
        EXPECT_EQ(NameOf(stream), c.name);
    }
    // A failed open closes the stream; the name is then not given out.
    EXPECT_EQ(stream.Open(u"\\dir\\nothing", TRUE), kResultFail);
    EXPECT_EQ(NameOf(stream), u"<none>");
}

TEST(FileStreamTest, NameCapacityRules) {
    Sandbox box;
    ASSERT_TRUE(box.write("abcdef.txt", ""));
    FileStream stream;
    WCHAR buffer[8] = {u'?', u'?', u'?', u'?', u'?', u'?', u'?', u'?'};
    EXPECT_EQ(stream.GetName(buffer, 0), kResultNullArgument);
    EXPECT_EQ(stream.GetName(nullptr, 8), kResultNullArgument);
    EXPECT_EQ(stream.GetName(buffer, 8), kResultFail); // not open
    ASSERT_EQ(stream.Open(u"\\abcdef.txt", TRUE), kResultOk);
    EXPECT_EQ(stream.GetName(buffer, 0), kResultNullArgument);
    EXPECT_EQ(stream.GetName(buffer, 5), kResultTruncated);
    EXPECT_EQ(std::u16string(buffer), u"abcd");
}

TEST(FileStreamTest, CloseFileReportsWhetherSomethingWasOpen) {
    Sandbox box;
    ASSERT_TRUE(box.write("f", "data"));
    FileStream stream;
    EXPECT_EQ(stream.CloseFile(), kResultNo);
    ASSERT_EQ(stream.Open(u"f", FALSE), kResultOk);
    EXPECT_EQ(stream.Close(), kResultOk); // slot 7 is close file
    EXPECT_EQ(stream.CloseFile(), kResultNo);

    // Small writes may be held back until the close: when the device can't take them, the
    // close says so, once, and the file keeps what fitted.
    ASSERT_EQ(stream.Open(u"f", FALSE), kResultOk);
    int closed = kResultOk;
    {
        qb::test::FileSizeLimit limit(6);
        ASSERT_TRUE(limit.set());
        DWORD count = 8;
        ASSERT_EQ(stream.Write("12345678", &count), kResultOk);
        ASSERT_EQ(count, 8u);
        closed = stream.CloseFile();
    }
    EXPECT_EQ(closed, kResultFail);
    EXPECT_FALSE(stream.IsOpen());
    EXPECT_EQ(stream.CloseFile(), kResultNo);
    EXPECT_EQ(box.read("f"), "123456");
}

TEST(FileStreamTest, ClosedStreamAnswers) {
    FileStream stream;
    char buffer[4];
    DWORD count = 4;
    EXPECT_EQ(stream.Read(buffer, &count), kResultFail);
    EXPECT_EQ(count, 0u);
    count = 4;
    EXPECT_EQ(stream.Write(buffer, &count), kResultFail);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(stream.Read(nullptr, &count), kResultNullArgument);
    EXPECT_EQ(stream.Write(buffer, nullptr), kResultNullArgument);
    uint64_t size = 0;
    EXPECT_EQ(stream.GetSize(&size), kResultFail);
    const int64_t offset = 0;
    EXPECT_EQ(stream.Seek(nullptr, nullptr, kSeekBegin), kResultNullArgument);
    EXPECT_EQ(stream.Seek(&offset, nullptr, kSeekBegin), kResultFail);
    StreamAccessor record{};
    record.recordSize = sizeof(record);
    EXPECT_EQ(stream.GetAccessor(nullptr), kResultNullArgument);
    EXPECT_EQ(stream.GetAccessor(&record), kResultFail);
    EXPECT_EQ(stream.ReferenceCount(), 0);
}

TEST(FileStreamTest, WriteThenReadBackWithSeeks) {
    Sandbox box;
    ASSERT_TRUE(box.write("f.bin", "0123456789"));
    FileStream stream;
    ASSERT_EQ(stream.Open(u"\\f.bin", FALSE), kResultOk);

    uint64_t position = 99;
    const int64_t zero = 0;
    ASSERT_EQ(stream.Seek(&zero, &position, kSeekEnd), kResultOk);
    EXPECT_EQ(position, 10u); // the end is the size
    DWORD count = 3;
    ASSERT_EQ(stream.Write("abc", &count), kResultOk);
    EXPECT_EQ(count, 3u);
    uint64_t size = 0;
    ASSERT_EQ(stream.GetSize(&size), kResultOk);
    EXPECT_EQ(size, 13u);

    const int64_t back = -5;
    ASSERT_EQ(stream.Seek(&back, &position, kSeekCurrent), kResultOk);
    EXPECT_EQ(position, 8u);
    char buffer[16] = {};
    count = sizeof(buffer);
    ASSERT_EQ(stream.Read(buffer, &count), kResultOk);
    EXPECT_EQ(std::string(buffer, count), "89abc");
    count = sizeof(buffer);
    ASSERT_EQ(stream.Read(buffer, &count), kResultOk);
    EXPECT_EQ(count, 0u); // the end of the file
    stream.CloseFile();
    EXPECT_EQ(box.read("f.bin"), "0123456789abc");
}

TEST(FileStreamTest, SeekWithOtherOriginDoesNotMove) {
    Sandbox box;
    ASSERT_TRUE(box.write("f", "0123456789"));
    FileStream stream;
    ASSERT_EQ(stream.Open(u"f", TRUE), kResultOk);
    const int64_t four = 4;
    uint64_t position = 0;
    ASSERT_EQ(stream.Seek(&four, &position, kSeekBegin), kResultOk);
    position = 77;
    EXPECT_EQ(stream.Seek(&four, &position, 3), kResultFail);
    EXPECT_EQ(position, 77u);
    const int64_t zero = 0;
    ASSERT_EQ(stream.Seek(&zero, &position, kSeekCurrent), kResultOk);
    EXPECT_EQ(position, 4u);
}

TEST(FileStreamTest, SeekBeforeTheStartFailsAndKeepsPosition) {
    Sandbox box;
    ASSERT_TRUE(box.write("f", "0123456789"));
    FileStream stream;
    ASSERT_EQ(stream.Open(u"f", TRUE), kResultOk);
    const int64_t two = 2;
    ASSERT_EQ(stream.Seek(&two, nullptr, kSeekBegin), kResultOk);
    const int64_t tooFar = -20;
    uint64_t position = 0;
    EXPECT_EQ(stream.Seek(&tooFar, &position, kSeekEnd), kResultFail);
    const int64_t zero = 0;
    ASSERT_EQ(stream.Seek(&zero, &position, kSeekCurrent), kResultOk);
    EXPECT_EQ(position, 2u);
}

TEST(FileStreamTest, PositionsAndSizesBeyondFourGigabytes) {
    Sandbox box;
    ASSERT_TRUE(box.write("big", ""));
    FileStream stream;
    ASSERT_EQ(stream.Open(u"big", FALSE), kResultOk);
    const int64_t far = (int64_t{5} << 30) + 7; // 5 GiB + 7: both words matter
    uint64_t position = 0;
    ASSERT_EQ(stream.Seek(&far, &position, kSeekBegin), kResultOk);
    EXPECT_EQ(position, static_cast<uint64_t>(far));
    DWORD count = 1;
    ASSERT_EQ(stream.Write("z", &count), kResultOk); // a sparse file
    ASSERT_EQ(count, 1u);
    uint64_t size = 0;
    ASSERT_EQ(stream.GetSize(&size), kResultOk);
    EXPECT_EQ(size, static_cast<uint64_t>(far) + 1);
    const int64_t zero = 0;
    ASSERT_EQ(stream.Seek(&zero, &position, kSeekEnd), kResultOk);
    EXPECT_EQ(position, size);
}

TEST(FileStreamTest, ReadOnlyFileAcceptsReadsAndRefusesWrites) {
    Sandbox box;
    ASSERT_TRUE(box.write("ro", "hello"));
    FileStream stream;
    ASSERT_EQ(stream.Open(u"ro", TRUE), kResultOk);
    char buffer[8] = {};
    DWORD count = 5;
    ASSERT_EQ(stream.Read(buffer, &count), kResultOk);
    EXPECT_EQ(std::string(buffer, count), "hello");
    count = 3;
    EXPECT_EQ(stream.Write("xyz", &count), kResultOk); // the count tells the outcome
    EXPECT_EQ(count, 0u);
    stream.CloseFile();
    EXPECT_EQ(box.read("ro"), "hello");
}

TEST(FileStreamTest, OpeningAgainClosesThePreviousFile) {
    Sandbox box;
    ASSERT_TRUE(box.write("a", "A"));
    ASSERT_TRUE(box.write("b", "B"));
    FileStream stream;
    ASSERT_EQ(stream.Open(u"a", FALSE), kResultOk);
    ASSERT_EQ(stream.Open(u"b", FALSE), kResultOk);
    char unit = 0;
    DWORD count = 1;
    ASSERT_EQ(stream.Read(&unit, &count), kResultOk);
    EXPECT_EQ(unit, 'B');
    EXPECT_EQ(stream.Open(u"c", FALSE), kResultFail);
    EXPECT_FALSE(stream.IsOpen());
}

TEST(FileStreamTest, AccessorCallsTheStreamAndCountsReferences) {
    Sandbox box;
    ASSERT_TRUE(box.write("f", "12345"));
    FileStream stream;
    ASSERT_EQ(stream.Open(u"f", TRUE), kResultOk);
    StreamAccessor record{};
    record.recordSize = sizeof(record) - 1;
    EXPECT_EQ(stream.GetAccessor(&record), kResultRecordTooSmall);
    record.recordSize = sizeof(record);
    ASSERT_EQ(stream.GetAccessor(&record), kResultOk);
    EXPECT_EQ(stream.ReferenceCount(), 1);
    uint64_t size = 0;
    ASSERT_EQ(record.size(record.stream, &size), kResultOk);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(stream.Release(), kResultOk);
    EXPECT_EQ(stream.Release(), kResultFail);
}

// Flush commits what was written: another reader sees it while the stream is still open, and
// the stream goes on writing where it was. A stream that can't flush says so.
TEST(FileStreamTest, FlushCommitsWrittenDataOrReportsWhyNot) {
    Sandbox box;
    ASSERT_TRUE(box.write("w", ""));
    ASSERT_TRUE(box.write("ro", "hello"));
    FileStream stream;
    EXPECT_EQ(stream.Flush(), kResultFail); // nothing open

    ASSERT_EQ(stream.Open(u"w", FALSE), kResultOk);
    DWORD count = 6;
    ASSERT_EQ(stream.Write("first ", &count), kResultOk);
    ASSERT_EQ(count, 6u);
    EXPECT_EQ(stream.Flush(), kResultOk);
    EXPECT_EQ(box.read("w"), "first ");
    count = 6;
    ASSERT_EQ(stream.Write("second", &count), kResultOk);
    EXPECT_EQ(stream.Flush(), kResultOk);
    EXPECT_EQ(box.read("w"), "first second");

    // A read-only file has nothing to commit and the platform refuses: -1, file untouched.
    ASSERT_EQ(stream.Open(u"ro", TRUE), kResultOk);
    EXPECT_EQ(stream.Flush(), kResultFail);
    EXPECT_TRUE(stream.IsOpen());
    stream.CloseFile();
    EXPECT_EQ(stream.Flush(), kResultFail);
    EXPECT_EQ(box.read("ro"), "hello");
}

} // namespace
