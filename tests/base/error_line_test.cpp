// The error line's escapes: what a URL or a server's text may hold never reaches the
// terminal raw, and the escaped text stays within its buffer.
#include <gtest/gtest.h>

#include <string>

#include "base/ErrorLine.h"
#include "base/Results.h"

namespace {

TEST(EscapeHiddenControls, WritesTheUtf8BytesOfEachControlAsPercentEscapes) {
    const struct {
        const char16_t* text;
        DWORD capacity;
        int result;
        const char16_t* escaped;
    } cases[] = {
        {u"http://h/plain.bin", 64, kResultOk, u"http://h/plain.bin"},
        {u"a\x1B[2Jb", 64, kResultOk, u"a%1B[2Jb"},     // erase the screen
        {u"x\ry\nz\t", 64, kResultOk, u"x%0Dy%0Az%09"}, // a second line
        {u"del\x7F", 64, kResultOk, u"del%7F"},
        {u"csi\x9B"
         u"31m",
         64, kResultOk, u"csi%C2%9B31m"}, // the one-unit CSI
        {u"fdp\x202E"
         u"exe",
         64, kResultOk, u"fdp%E2%80%AEexe"}, // reads as "exe.pdf"
        {u"\x2066i\x2069", 64, kResultOk, u"%E2%81%A6i%E2%81%A9"},
        {u"日本語 é", 64, kResultOk, u"日本語 é"}, // printable text as it is
        {u"ab\x1B", 5, kResultTruncated, u"ab"},   // an escape is never cut in half
        {u"ab\x1B", 6, kResultOk, u"ab%1B"},
        {u"abcd", 3, kResultTruncated, u"ab"},
    };
    for (const auto& c : cases) {
        WCHAR escaped[64] = {};
        EXPECT_EQ(EscapeHiddenControls(c.text, escaped, c.capacity), c.result);
        EXPECT_EQ(std::u16string(escaped), c.escaped);
    }
    WCHAR one[1];
    EXPECT_EQ(EscapeHiddenControls(nullptr, one, 1), kResultNullArgument);
    EXPECT_EQ(EscapeHiddenControls(u"x", one, 0), kResultNullArgument);
}

} // namespace
