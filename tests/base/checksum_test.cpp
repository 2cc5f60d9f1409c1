// Checksum values: the two digest names in any case, exactly as many hex digits as the
// digest has; anything else refused with the checksum left as it was.
#include <gtest/gtest.h>

#include <string>

#include "base/Checksum.h"
#include "base/Results.h"

namespace {

std::u16string Wide(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

TEST(ParseChecksum, TakesTheTwoDigestsAndRefusesTheRest) {
    const std::string abc256 = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    const std::string abc512 = "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
                               "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f";
    const struct {
        std::string text;
        DigestKind kind; // kNone: refused
        BYTE first, last;
    } cases[] = {
        {"sha256:" + abc256, DigestKind::kSha256, 0xba, 0xad},
        {"SHA256:BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD",
         DigestKind::kSha256, 0xba, 0xad},
        {"sha512:" + abc512, DigestKind::kSha512, 0xdd, 0x9f},
        {"sha256:" + abc256.substr(1), DigestKind::kNone, 0, 0}, // a digit short
        {"sha256:" + abc256 + "0", DigestKind::kNone, 0, 0},     // a digit more
        {"sha512:" + abc256, DigestKind::kNone, 0, 0},           // the other digest's length
        {"sha256:" + abc256.substr(0, 63) + "g", DigestKind::kNone, 0, 0},
        {"sha256 :" + abc256, DigestKind::kNone, 0, 0},
        {"sha256:" + abc256 + " ", DigestKind::kNone, 0, 0},
        {"md5:900150983cd24fb0d6963f7d28e17f72", DigestKind::kNone, 0, 0},
        {abc256, DigestKind::kNone, 0, 0},
        {"sha256:", DigestKind::kNone, 0, 0},
        {"", DigestKind::kNone, 0, 0},
    };
    for (const auto& c : cases) {
        Checksum checksum;
        const std::u16string text = Wide(c.text);
        const int result = ParseChecksum(text.c_str(), &checksum);
        EXPECT_EQ(result, c.kind == DigestKind::kNone ? kResultFail : kResultOk) << c.text;
        EXPECT_EQ(checksum.kind, c.kind) << c.text;
        if (c.kind == DigestKind::kNone) {
            EXPECT_EQ(checksum.size, 0u);
            continue;
        }
        EXPECT_EQ(checksum.size, c.kind == DigestKind::kSha256 ? 32u : 64u);
        EXPECT_EQ(checksum.digest[0], c.first) << c.text;
        EXPECT_EQ(checksum.digest[checksum.size - 1], c.last) << c.text;
    }
    EXPECT_EQ(ParseChecksum(nullptr, nullptr), kResultFail);
}

} // namespace
