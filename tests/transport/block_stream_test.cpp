// BlockStream: seek bounds, reads and writes cut at the capacity, read-only blocks, names,
// and who frees the block.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "base/Results.h"
#include "transport/BlockStream.h"

namespace {

constexpr DWORD kCapacity = 10;

class BlockStreamTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(stream.Attach(block, kCapacity, FALSE, u"blk"), kResultOk); }

    uint64_t Position() {
        const int64_t zero = 0;
        uint64_t position = 0;
        EXPECT_EQ(stream.Seek(&zero, &position, kSeekCurrent), kResultOk);
        return position;
    }

    BYTE block[kCapacity] = {};
    BlockStream stream;
};

TEST_F(BlockStreamTest, SeekStaysWithinZeroAndTheCapacity) {
    struct Case {
        uint64_t start;
        int64_t offset;
        DWORD origin;
        int result;
        uint64_t position; // after the call
    } cases[] = {
        {3, 10, kSeekBegin, kResultOk, 10},
        {3, 11, kSeekBegin, kResultFail, 3},
        {3, -1, kSeekBegin, kResultFail, 3},
        {3, 7, kSeekCurrent, kResultOk, 10},
        {3, 8, kSeekCurrent, kResultFail, 3},
        {3, -3, kSeekCurrent, kResultOk, 0},
        {3, -4, kSeekCurrent, kResultFail, 3},
        {3, 0, kSeekEnd, kResultOk, 10},
        {3, 1, kSeekEnd, kResultFail, 3},
        {3, -10, kSeekEnd, kResultOk, 0},
        {3, -11, kSeekEnd, kResultFail, 3},
        {3, 0, 3, kResultFail, 3}, // no such origin
        {3, INT64_MAX, kSeekCurrent, kResultFail, 3},
        {3, INT64_MIN, kSeekCurrent, kResultFail, 3},
        {3, INT64_MIN, kSeekEnd, kResultFail, 3},
    };
    for (const Case& c : cases) {
        const int64_t start = static_cast<int64_t>(c.start);
        ASSERT_EQ(stream.Seek(&start, nullptr, kSeekBegin), kResultOk);
        uint64_t reported = 999;
        EXPECT_EQ(stream.Seek(&c.offset, &reported, c.origin), c.result)
            << c.offset << " from " << c.origin;
        if (c.result == kResultOk) {
            EXPECT_EQ(reported, c.position);
        } else {
            EXPECT_EQ(reported, 999u);
        }
        EXPECT_EQ(Position(), c.position);
    }
    EXPECT_EQ(stream.Seek(nullptr, nullptr, kSeekBegin), kResultNullArgument);
}

TEST_F(BlockStreamTest, WritesAndReadsAreCutAtTheCapacity) {
    const int64_t eight = 8;
    ASSERT_EQ(stream.Seek(&eight, nullptr, kSeekBegin), kResultOk);
    DWORD count = 5;
    EXPECT_EQ(stream.Write("abcde", &count), kResultOk);
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(block[8], 'a');
    EXPECT_EQ(block[9], 'b');
    count = 5;
    EXPECT_EQ(stream.Write("abcde", &count), kResultOk); // full block: 1 with count 0
    EXPECT_EQ(count, 0u);

    const int64_t six = 6;
    stream.Seek(&six, nullptr, kSeekBegin);
    char out[16] = {};
    count = 16;
    EXPECT_EQ(stream.Read(out, &count), kResultOk);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(std::string(out, 4), std::string("\0\0ab", 4));
    count = 16;
    EXPECT_EQ(stream.Read(out, &count), kResultOk); // at the end: 1 with count 0
    EXPECT_EQ(count, 0u);
}

TEST_F(BlockStreamTest, SizeIsTheCapacityWhateverWasWritten) {
    uint64_t size = 0;
    EXPECT_EQ(stream.GetSize(&size), kResultOk);
    EXPECT_EQ(size, kCapacity);
    EXPECT_EQ(stream.GetSize(nullptr), kResultNullArgument);
}

TEST_F(BlockStreamTest, ReadOnlyBlockRefusesWrites) {
    ASSERT_EQ(stream.Attach(block, kCapacity, TRUE, nullptr), kResultOk);
    DWORD count = 1;
    EXPECT_EQ(stream.Write("x", &count), kResultFail);
    EXPECT_EQ(block[0], 0);
    count = 3;
    char out[3];
    EXPECT_EQ(stream.Read(out, &count), kResultOk);
    EXPECT_EQ(count, 3u);
}

TEST_F(BlockStreamTest, NameIsCopiedWithinTheCallersCapacity) {
    WCHAR name[8];
    EXPECT_EQ(stream.GetName(name, 3), kResultTruncated);
    EXPECT_EQ(std::u16string(name), u"bl");
    EXPECT_EQ(stream.GetName(name, 0), kResultNullArgument);
    stream.Attach(block, kCapacity, FALSE, nullptr);
    EXPECT_EQ(stream.GetName(name, 8), kResultOk);
    EXPECT_EQ(std::u16string(name), u"");
}

TEST_F(BlockStreamTest, DetachedStreamAnswersNotOpen) {
    EXPECT_EQ(stream.Close(), kResultOk);
    EXPECT_EQ(stream.Close(), kResultNo);
    uint64_t size = 0;
    const int64_t zero = 0;
    DWORD count = 1;
    StreamAccessor record{};
    record.recordSize = sizeof(record);
    EXPECT_EQ(stream.GetSize(&size), kResultFail);
    EXPECT_EQ(stream.Seek(&zero, nullptr, kSeekBegin), kResultFail);
    EXPECT_EQ(stream.Write("x", &count), kResultFail);
    EXPECT_EQ(stream.GetAccessor(&record), kResultFail);
    EXPECT_EQ(stream.ReferenceCount(), 0);
}

TEST(BlockStream, OwnBlocksAreFreedAndCallerBlocksAreNot) {
    BlockStream stream;
    EXPECT_EQ(stream.Attach(nullptr, 64, FALSE, u"own"), kResultOk);
    DWORD count = 3;
    EXPECT_EQ(stream.Write("xyz", &count), kResultOk);
    EXPECT_EQ(stream.Attach(nullptr, 0, FALSE, nullptr), kResultOk); // frees the first block
    uint64_t size = 1;
    EXPECT_EQ(stream.GetSize(&size), kResultOk);
    EXPECT_EQ(size, 0u);
    BYTE caller[4] = {1, 2, 3, 4};
    EXPECT_EQ(stream.Attach(caller, 4, FALSE, nullptr), kResultOk); // frees the empty one
    EXPECT_EQ(stream.Detach(), kResultOk); // a stack block: freeing it would be caught
    EXPECT_EQ(caller[3], 4);
    EXPECT_EQ(stream.Attach(nullptr, 16, TRUE, nullptr), kResultOk); // freed by destruction
}

} // namespace
