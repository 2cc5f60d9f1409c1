// MemoryStream: data crossing chunk boundaries in every combination of piece sizes,
// overwriting, the two kinds of end, seek bounds and the closed state.
#include <gtest/gtest.h>

#include <string>

#include "base/Results.h"
#include "http/MemoryStream.h"

namespace {

std::string Pattern(size_t length) {
    std::string data;
    for (size_t i = 0; i < length; ++i) data.push_back(static_cast<char>('A' + i % 23));
    return data;
}

void WriteAll(MemoryStream& stream, const std::string& data, DWORD piece) {
    for (size_t at = 0; at < data.size(); at += piece) {
        DWORD count = static_cast<DWORD>(std::min<size_t>(piece, data.size() - at));
        const DWORD wanted = count;
        ASSERT_EQ(stream.Write(data.data() + at, &count), kResultOk);
        ASSERT_EQ(count, wanted);
    }
}

std::string ReadAll(MemoryStream& stream, DWORD piece) {
    std::string data;
    std::string buffer(piece, '\0');
    for (;;) {
        DWORD count = piece;
        const int result = stream.Read(buffer.data(), &count);
        EXPECT_GE(result, 0);
        if (count == 0) break;
        data.append(buffer.data(), count);
    }
    return data;
}

void Rewind(MemoryStream& stream) {
    const int64_t zero = 0;
    ASSERT_EQ(stream.Seek(&zero, nullptr, kSeekBegin), kResultOk);
}

TEST(MemoryStream, ThreeHundredBytesInChunksOf128) {
    MemoryStream stream;
    ASSERT_EQ(stream.Open(128, nullptr), kResultOk);
    const std::string data = Pattern(300);
    DWORD count = 300;
    ASSERT_EQ(stream.Write(data.data(), &count), kResultOk);
    EXPECT_EQ(count, 300u);
    EXPECT_EQ(stream.ChunkCount(), 3u);
    uint64_t size = 0;
    EXPECT_EQ(stream.GetSize(&size), kResultOk);
    EXPECT_EQ(size, 300u);
    Rewind(stream);
    EXPECT_EQ(ReadAll(stream, 3), data);
    char byte = 0;
    count = 1;
    EXPECT_EQ(stream.Read(&byte, &count), kResultOk); // the end inside the last chunk
    EXPECT_EQ(count, 0u);
}

TEST(MemoryStream, EndOnAChunkBoundaryReadsAsZero) {
    MemoryStream stream;
    stream.Open(128, nullptr);
    WriteAll(stream, Pattern(256), 256);
    char byte = 0;
    DWORD count = 1;
    EXPECT_EQ(stream.Read(&byte, &count), kResultEnd); // past the last chunk
    EXPECT_EQ(count, 0u);
}

TEST(MemoryStream, EveryPieceSizeCrossesChunksCorrectly) {
    const DWORD chunkSizes[] = {1, 3, 7, 128};
    const DWORD pieces[] = {1, 2, 5, 127, 128, 129, 1000};
    const std::string data = Pattern(1000);
    for (DWORD chunk : chunkSizes) {
        for (DWORD writePiece : pieces) {
            for (DWORD readPiece : {DWORD{1}, DWORD{6}, DWORD{200}}) {
                MemoryStream stream;
                ASSERT_EQ(stream.Open(chunk, nullptr), kResultOk);
                WriteAll(stream, data, writePiece);
                EXPECT_EQ(stream.ChunkCount(), (1000 + chunk - 1) / chunk);
                Rewind(stream);
                EXPECT_EQ(ReadAll(stream, readPiece), data)
                    << "chunk " << chunk << " write " << writePiece << " read " << readPiece;
            }
        }
    }
}

TEST(MemoryStream, WriteInsideOverwritesThenAppends) {
    MemoryStream stream;
    stream.Open(4, nullptr);
    WriteAll(stream, "0123456789", 10);
    const int64_t three = 3;
    uint64_t position = 0;
    stream.Seek(&three, nullptr, kSeekBegin);
    WriteAll(stream, "abcd", 4); // across the first chunk boundary
    stream.Seek(&three, &position, kSeekCurrent);
    EXPECT_EQ(position, 10u);
    const int64_t eight = 8;
    stream.Seek(&eight, nullptr, kSeekBegin);
    WriteAll(stream, "WXYZ", 4); // two bytes overwrite, two append
    const int64_t zero = 0;
    stream.Seek(&zero, &position, kSeekCurrent);
    EXPECT_EQ(position, 12u);
    uint64_t size = 0;
    stream.GetSize(&size);
    EXPECT_EQ(size, 12u);
    EXPECT_EQ(stream.ChunkCount(), 3u);
    Rewind(stream);
    EXPECT_EQ(ReadAll(stream, 5), "012abcd7WXYZ");
}

TEST(MemoryStream, SeekOutsideZeroToSizeKeepsThePosition) {
    MemoryStream stream;
    stream.Open(8, nullptr);
    WriteAll(stream, Pattern(20), 20);
    struct Case {
        int64_t offset;
        DWORD origin;
        int result;
        uint64_t position;
    } cases[] = {
        {20, kSeekBegin, kResultOk, 20},       {21, kSeekBegin, kResultFail, 5},
        {-1, kSeekBegin, kResultFail, 5},      {15, kSeekCurrent, kResultOk, 20},
        {-6, kSeekCurrent, kResultFail, 5},    {0, kSeekEnd, kResultOk, 20},
        {1, kSeekEnd, kResultFail, 5},         {-20, kSeekEnd, kResultOk, 0},
        {-21, kSeekEnd, kResultFail, 5},       {0, 7, kResultFail, 5},
        {INT64_MIN, kSeekEnd, kResultFail, 5},
    };
    for (const Case& c : cases) {
        const int64_t five = 5;
        stream.Seek(&five, nullptr, kSeekBegin);
        EXPECT_EQ(stream.Seek(&c.offset, nullptr, c.origin), c.result) << c.offset;
        const int64_t zero = 0;
        uint64_t position = 0;
        stream.Seek(&zero, &position, kSeekCurrent);
        EXPECT_EQ(position, c.position);
    }
}

TEST(MemoryStream, ClosedStreamRefusesEverything) {
    MemoryStream stream;
    uint64_t size = 0;
    char byte = 0;
    DWORD count = 1;
    EXPECT_EQ(stream.GetSize(&size), kResultFail);
    EXPECT_EQ(stream.Read(&byte, &count), kResultFail);
    EXPECT_EQ(stream.Write(&byte, &count), kResultFail);
    EXPECT_EQ(stream.SetName(u"x"), kResultFail);
    EXPECT_EQ(stream.Close(), kResultNullArgument);
    EXPECT_EQ(stream.Open(0, nullptr), kResultNullArgument);
    EXPECT_EQ(stream.GetSize(&size), kResultFail); // still closed
}

TEST(MemoryStream, ReopenEmptiesTheStream) {
    MemoryStream stream;
    stream.Open(16, u"credentials");
    WriteAll(stream, Pattern(40), 40);
    ASSERT_EQ(stream.Open(32, nullptr), kResultOk); // releases the old chunks
    uint64_t size = 1;
    stream.GetSize(&size);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(stream.ChunkCount(), 0u);
    WCHAR name[8];
    EXPECT_EQ(stream.GetName(name, 8), kResultOk);
    EXPECT_EQ(std::u16string(name), u"");
    WriteAll(stream, Pattern(40), 7); // freed by the destructor
}

} // namespace
