// The shared part of every Stream: the accessor record and the reference count.
#include <gtest/gtest.h>

#include <cstring>

#include "base/Results.h"
#include "transport/Allocator.h"
#include "transport/BlockStream.h"

namespace {

TEST(StreamAccessor, TooSmallRecordIsRefusedWithoutSideEffects) {
    BYTE block[4] = {};
    BlockStream stream;
    stream.Attach(block, 4, FALSE, nullptr);
    StreamAccessor record{};
    record.recordSize = sizeof(StreamAccessor) - 1;
    EXPECT_EQ(stream.GetAccessor(&record), kResultRecordTooSmall);
    EXPECT_EQ(record.stream, nullptr);
    EXPECT_EQ(record.recordSize, sizeof(StreamAccessor) - 1);
    EXPECT_EQ(stream.ReferenceCount(), 0);
}

TEST(StreamAccessor, FilledRecordCallsThroughToTheStream) {
    BYTE block[8] = {'h', 'e', 'l', 'l', 'o'};
    BlockStream stream;
    stream.Attach(block, 5, FALSE, nullptr);
    struct {
        StreamAccessor accessor;
        BYTE spare[16];
    } larger{};
    larger.accessor.recordSize = sizeof(larger);
    ASSERT_EQ(stream.GetAccessor(&larger.accessor), kResultOk);
    const StreamAccessor& a = larger.accessor;
    EXPECT_EQ(a.recordSize, sizeof(StreamAccessor));
    EXPECT_EQ(a.stream, &stream);
    EXPECT_EQ(stream.ReferenceCount(), 1);

    uint64_t size = 0;
    EXPECT_EQ(a.size(a.stream, &size), kResultOk);
    EXPECT_EQ(size, 5u);
    const int64_t one = 1;
    uint64_t position = 0;
    EXPECT_EQ(a.seek(a.stream, &one, &position, kSeekBegin), kResultOk);
    EXPECT_EQ(position, 1u);
    char out[4] = {};
    DWORD count = 3;
    EXPECT_EQ(a.read(a.stream, out, &count), kResultOk);
    EXPECT_EQ(std::string(out, count), "ell");
    count = 1;
    EXPECT_EQ(a.write(a.stream, "O", &count), kResultOk);
    EXPECT_EQ(block[4], 'O');

    // A null stream is refused by the functions themselves.
    EXPECT_EQ(a.size(nullptr, &size), kResultFail);
    EXPECT_EQ(a.seek(nullptr, &one, nullptr, kSeekBegin), kResultFail);
    EXPECT_EQ(a.read(nullptr, out, &count), kResultFail);
    EXPECT_EQ(a.write(nullptr, out, &count), kResultFail);
}

TEST(StreamRelease, CountsDownToZeroAndNoFurther) {
    BYTE block[1];
    BlockStream stream;
    EXPECT_EQ(stream.Release(), kResultFail); // fresh stream
    stream.Attach(block, 1, FALSE, nullptr);
    StreamAccessor record{};
    record.recordSize = sizeof(record);
    stream.GetAccessor(&record);
    stream.GetAccessor(&record);
    EXPECT_EQ(stream.ReferenceCount(), 2);
    EXPECT_EQ(stream.Release(), kResultOk);
    EXPECT_EQ(stream.Release(), kResultOk);
    EXPECT_EQ(stream.Release(), kResultFail);
    EXPECT_EQ(stream.ReferenceCount(), 0);
    uint64_t size = 0;
    EXPECT_EQ(stream.GetSize(&size), kResultOk); // reaching 0 destroys nothing
}

TEST(HeapAllocator, GivesZeroFilledBlocks) {
    HeapAllocator heap;
    void* block = nullptr;
    ASSERT_EQ(heap.Allocate(&block, 4096), kResultOk);
    const BYTE zeros[4096] = {};
    EXPECT_EQ(std::memcmp(block, zeros, sizeof(zeros)), 0);
    EXPECT_EQ(heap.Free(block), kResultOk);
    EXPECT_EQ(heap.Allocate(nullptr, 8), kResultNullArgument);
}

} // namespace
