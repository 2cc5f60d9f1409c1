// Base64 between streams: the standard vectors, line breaks at the line length, short
// writes, inputs that arrive a byte at a time, and the decoder's rejections.
#include <gtest/gtest.h>

#include <string>

#include "base/Results.h"
#include "tests/transport/TestStreams.h"
#include "transport/Base64.h"
#include "transport/BlockStream.h"

namespace {

class Base64Test : public ::testing::Test {
protected:
    void SetUp() override { Base64BuildTables(&tables); }
    void TearDown() override { Base64ReleaseTables(&tables); }

    std::string Encode(const std::string& input, DWORD lineLength, int* result = nullptr) {
        ScriptedSource source(input, 3, SourceEnd::Paused);
        CollectingSink sink;
        const int r = Base64Encode(&tables, &source, &sink, lineLength);
        if (result != nullptr) *result = r;
        return sink.text;
    }

    int Decode(const std::string& input, std::string* output) {
        ScriptedSource source(input, 5, SourceEnd::Closed);
        CollectingSink sink;
        const int r = Base64Decode(&tables, &source, &sink);
        *output = sink.text;
        return r;
    }

    Base64Tables tables;
};

TEST_F(Base64Test, EncodesTheStandardVectors) {
    const std::pair<std::string, std::string> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {"user:パス", "dXNlcjrjg5Hjgrk="},
        {std::string("\0\xff\xfe", 3), "AP/+"},
    };
    for (const auto& [plain, encoded] : vectors) {
        int result = 0;
        EXPECT_EQ(Encode(plain, 76, &result), encoded);
        EXPECT_EQ(result, kResultOk);
        std::string decoded;
        EXPECT_EQ(Decode(encoded, &decoded), kResultOk);
        EXPECT_EQ(decoded, plain);
    }
}

TEST_F(Base64Test, BreaksLinesExactlyAtTheLineLength) {
    struct Case {
        size_t inputBytes;
        DWORD lineLength;
        std::string shape; // "x" stands for any encoded character
    } cases[] = {
        {57, 76, std::string(76, 'x') + "\r\n"}, // a full last line ends with a break
        {56, 76, std::string(76, 'x')},
        {58, 76, std::string(76, 'x') + "\r\n" + "xxxx"},
        {12, 10, "xxxxxxxxxx\r\nxxxxxx"}, // a group split by the break
        {6, 4, "xxxx\r\nxxxx\r\n"},
        {5, 8, "xxxxxxxx"}, // the padded group fills the line
        {200, kBase64NoLineBreaks, std::string(268, 'x')},
    };
    for (const Case& c : cases) {
        std::string encoded = Encode(std::string(c.inputBytes, 'A'), c.lineLength);
        for (char& ch : encoded) {
            if (ch != '\r' && ch != '\n') ch = 'x';
        }
        EXPECT_EQ(encoded, c.shape) << c.inputBytes << " bytes, line " << c.lineLength;
    }
}

TEST_F(Base64Test, InputArrivingByteByByteEncodesTheSame) {
    const std::string input = "Aladdin:open sesame";
    ScriptedSource source(input, 1, SourceEnd::Closed);
    CollectingSink sink;
    EXPECT_EQ(Base64Encode(&tables, &source, &sink, 76), kResultOk);
    EXPECT_EQ(sink.text, "QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
}

TEST_F(Base64Test, ShortWriteEndsTheEncodingWithWhatFitted) {
    // The HTTP client's setting: a zero-filled block whose last byte is never written.
    BYTE block[8] = {};
    BlockStream output;
    ASSERT_EQ(output.Attach(block, 7, FALSE, nullptr), kResultOk);
    ScriptedSource source("foobar", 3, SourceEnd::Paused);
    EXPECT_EQ(Base64Encode(&tables, &source, &output, 76), kResultFail);
    EXPECT_STREQ(reinterpret_cast<char*>(block), "Zm9vYmF");
}

TEST_F(Base64Test, NullArgumentsAndFailedReadsGiveFailure) {
    ScriptedSource source("abc", 3, SourceEnd::Paused);
    CollectingSink sink;
    EXPECT_EQ(Base64Encode(&tables, nullptr, &sink, 76), kResultFail);
    EXPECT_EQ(Base64Encode(&tables, &source, nullptr, 76), kResultFail);
    EXPECT_EQ(Base64Encode(nullptr, &source, &sink, 76), kResultFail);
    EXPECT_TRUE(sink.text.empty());
    ScriptedSource failing("ab", 1, SourceEnd::Failed);
    EXPECT_EQ(Base64Encode(&tables, &failing, &sink, 76), kResultFail);
    EXPECT_EQ(Base64Decode(&tables, nullptr, &sink), kResultFail);
}

TEST_F(Base64Test, DecoderSkipsLineBreaksAndRejectsMalformedText) {
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
    std::string decoded;
    EXPECT_EQ(Decode(Encode(all, 76), &decoded), kResultOk);
    EXPECT_EQ(decoded, all);

    const std::string malformed[] = {
        "Zg=", "Z===", "=Zg=", "Zg==Zg==", "Zm9v*mFy", "Zm9vY", "Zg=a", "Zm9\xffvYmFy"};
    for (const std::string& text : malformed) {
        EXPECT_EQ(Decode(text, &decoded), kResultFail) << text;
    }
    EXPECT_EQ(Decode("Zg==\r\n", &decoded), kResultOk);
    EXPECT_EQ(decoded, "f");
}

} // namespace
