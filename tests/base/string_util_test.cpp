// Bounds, truncation and search results of the text utilities, in both forms.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/Bytes.h"
#include "base/Results.h"
#include "base/StringUtil.h"

namespace {

std::u16string Wide(const WCHAR* text) {
    return text;
}

struct AppendCase {
    const char16_t* initial;
    DWORD capacity;
    const char16_t* source;
    int result;
    const char16_t* expected;
};

TEST(StrAppend, KeepsTheDestinationTerminatedWithinItsCapacity) {
    const AppendCase cases[] = {
        {u"", 1, u"abc", kResultTruncated, u""},        // only the terminator fits
        {u"ab", 5, u"cd", kResultOk, u"abcd"},          // exactly fills
        {u"ab", 4, u"cd", kResultTruncated, u"abc"},    // one unit short
        {u"abcd", 5, u"", kResultTruncated, u"abcd"},   // already full: even "" is a cut
        {u"abcd", 5, u"x", kResultTruncated, u"abcd"},  // already full
        {u"abcdef", 4, u"x", kResultTruncated, u"abc"}, // text longer than the capacity
        {u"", 8, u"", kResultOk, u""},
    };
    for (const AppendCase& c : cases) {
        WCHAR buffer[16] = {};
        StrCopy(buffer, 16, c.initial);
        EXPECT_EQ(StrAppend(buffer, c.capacity, c.source), c.result) << (int)c.capacity;
        EXPECT_EQ(Wide(buffer), c.expected);
        EXPECT_EQ(buffer[c.capacity - 1], 0);
    }
}

TEST(StrCopy, TruncatesAtCapacityMinusOne) {
    WCHAR buffer[16];
    EXPECT_EQ(StrCopy(buffer, 10, u"0123456789"), kResultTruncated);
    EXPECT_EQ(Wide(buffer), u"012345678");
    EXPECT_EQ(StrCopy(buffer, 11, u"0123456789"), kResultOk);
    EXPECT_EQ(Wide(buffer), u"0123456789");
}

TEST(StrCopy, NullArgumentsAndZeroCapacityWriteNothing) {
    WCHAR buffer[4] = {u'x', u'y', 0, 0};
    EXPECT_EQ(StrCopy(buffer, 0, u"abc"), kResultNo);
    EXPECT_EQ(StrCopy(buffer, 4, nullptr), kResultFail);
    EXPECT_EQ(StrCopy(static_cast<LPWSTR>(nullptr), 4, u"a"), kResultFail);
    EXPECT_EQ(StrAppend(buffer, 0, u"abc"), kResultFail);
    EXPECT_EQ(StrAppend(buffer, 4, nullptr), kResultFail);
    EXPECT_EQ(Wide(buffer), u"xy");
}

TEST(StrEqual, ComparesExactlyOrWithoutLetterCase) {
    struct Case {
        const char16_t* a;
        const char16_t* b;
        int result;
        int noCase; // StrEqualNoCase
    } cases[] = {
        {u"abc", u"abc", kResultOk, kResultOk},
        {u"", u"", kResultOk, kResultOk},
        {u"abc", u"abd", kResultNo, kResultNo},
        {u"ab", u"abc", kResultNo, kResultNo},
        {u"abc", u"ab", kResultNo, kResultNo},
        {u"ab", u"ba", kResultNo, kResultNo}, // same length and sum, different order
        {u"Content-Length", u"content-length", kResultNo, kResultOk},
        {u"LOCATION", u"location", kResultNo, kResultOk},
        {u"ac", u"bb", kResultNo, kResultNo}, // same sum
        // Only ASCII letters fold: "@" and "`" sit next to "A" and "a"; "Ä" stays "Ä".
        {u"@", u"`", kResultNo, kResultNo},
        {u"[", u"{", kResultNo, kResultNo},
        {u"\u00c4", u"\u00e4", kResultNo, kResultNo},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StrEqual(c.a, c.b), c.result);
        EXPECT_EQ(StrEqualNoCase(c.a, c.b), c.noCase);
    }
    EXPECT_EQ(StrEqual(u"a", nullptr), kResultFail);
    EXPECT_EQ(StrEqual(static_cast<LPCWSTR>(nullptr), u"a"), kResultFail);
    EXPECT_EQ(StrEqualNoCase(u"a", nullptr), kResultFail);
    EXPECT_EQ(StrEqual("abc", "abc"), kResultOk);
    EXPECT_EQ(StrEqualNoCase("Location", "lOCATION"), kResultOk);
    EXPECT_EQ(StrEqualNoCase("Location", "Locations"), kResultNo);
}

TEST(StrTrimBlanks, RemovesSpacesAndTabsAtBothEndsOnly) {
    const struct {
        std::u16string text;
        std::u16string trimmed;
    } cases[] = {
        {u"  http://h/a b  ", u"http://h/a b"},
        {u"\thttp://h/\t \t", u"http://h/"},
        {u"plain", u"plain"},
        {u"   ", u""},
        {u"", u""},
        {u"\u3000x\n", u"\u3000x\n"}, // only space and tab count
    };
    for (const auto& c : cases) {
        std::u16string text = c.text;
        EXPECT_EQ(StrTrimBlanks(text.data()), kResultOk);
        EXPECT_EQ(std::u16string(text.c_str()), c.trimmed);
    }
    EXPECT_EQ(StrTrimBlanks(nullptr), kResultFail);
}

TEST(StrFindUnit, FindsFirstAndLastPositions) {
    struct Case {
        const char16_t* text;
        char16_t unit;
        int first;
        DWORD firstAt;
        DWORD lastAt;
    } cases[] = {
        {u"a\\b\\c", u'\\', kResultOk, 1, 3},
        {u"\\", u'\\', kResultOk, 0, 0},
        {u"abc", u'c', kResultOk, 2, 2},
        {u"abc", u'x', kResultFail, 0, 0}, // absent is -1, not 0
        {u"abc", 0, kResultFail, 0, 0},    // the terminator is never found
        {u"", u'a', kResultFail, 0, 0},
    };
    for (const Case& c : cases) {
        DWORD at = 77;
        EXPECT_EQ(StrFindUnit(c.text, c.unit, &at), c.first);
        if (c.first == kResultOk) {
            EXPECT_EQ(at, c.firstAt);
        }
        EXPECT_EQ(StrFindLastUnit(c.text, c.unit, &at), c.first);
        if (c.first == kResultOk) {
            EXPECT_EQ(at, c.lastAt);
        }
    }
    EXPECT_EQ(StrFindUnit(u"abc", u'b', nullptr), kResultOk);
    EXPECT_EQ(StrFindUnit(static_cast<LPCWSTR>(nullptr), u'a', nullptr), kResultFail);
    DWORD at = 0;
    EXPECT_EQ(StrFindUnit("Name: value", ':', &at), kResultOk);
    EXPECT_EQ(at, 4u);
    EXPECT_EQ(StrFindLastUnit("a/b/c", '/', &at), kResultOk);
    EXPECT_EQ(at, 3u);
}

TEST(StrFindSubstring, DistinguishesAbsentFromTooShort) {
    struct Case {
        const char16_t* text;
        const char16_t* pattern;
        int result;
        DWORD at;
    } cases[] = {
        {u"hello", u"ll", kResultOk, 2},
        {u"hello", u"hello", kResultOk, 0},
        {u"hello", u"lo", kResultOk, 3}, // at the very end
        {u"hello", u"xy", kResultNo, 0},
        {u"baab", u"ab", kResultOk, 2},  // "ba" has the same sum as "ab"
        {u"acbb", u"bb", kResultOk, 2},  // "ac" and "cb" share the sum of "bb"
        {u"ab", u"abc", kResultFail, 0}, // text shorter than the pattern
        {u"a", u"", kResultOk, 0},
        {u"", u"a", kResultFail, 0},
        {u"Basic realm=\"x\"", u"Basic realm=\"", kResultOk, 0},
    };
    for (const Case& c : cases) {
        DWORD at = 99;
        EXPECT_EQ(StrFindSubstring(c.text, c.pattern, &at), c.result)
            << std::string(c.pattern, c.pattern + Wide(c.pattern).size());
        if (c.result == kResultOk) {
            EXPECT_EQ(at, c.at);
        }
        // Found at 0 is what StrStartsWith answers, without the search.
        EXPECT_EQ(StrStartsWith(c.text, c.pattern),
                  c.result == kResultOk && c.at == 0 ? kResultOk : kResultNo);
    }
    EXPECT_EQ(StrStartsWith(u"", u""), kResultOk);
    EXPECT_EQ(StrStartsWith(nullptr, u""), kResultFail);
    EXPECT_EQ(StrFindSubstring(u"abc", static_cast<LPCWSTR>(nullptr), nullptr), kResultFail);
    EXPECT_EQ(StrFindSubstring("GET / HTTP", "HTTP", nullptr), kResultOk);
}

TEST(StrPercentDecode, DecodesEscapesAndReportsConsumption) {
    struct Case {
        const char16_t* source;
        DWORD length;
        DWORD capacity;
        std::u16string produced;
        DWORD consumed;
    } cases[] = {
        {u"a%41b", 5, 16, u"aAb", 5},
        {u"ab%4", 4, 16, u"ab", 3}, // incomplete escape: "%" consumed, walk ends
        {u"%", 1, 16, u"", 1},
        {u"%zz", 3, 16, std::u16string(1, char16_t(16 * 255 + 255)), 3},
        {u"%4a%4A", 6, 16, u"JJ", 6},                    // both cases of hex digits
        {u"a+b%26c%3D", 10, 16, u"a+b&c=", 10},          // "+" is no space
        {u"%e6%97%a5", 9, 16, u"\u00e6\u0097\u00a5", 9}, // one unit per escape, no UTF-8
        {u"abcdef", 6, 3, u"abc", 3},                    // the destination fills first
        {u"abcdef", 2, 16, u"ab", 2},                    // the length ends the walk
        {u"%41%42", 6, 1, u"A", 3},
    };
    for (const Case& c : cases) {
        WCHAR out[16] = {};
        DWORD length = c.length;
        const DWORD produced = StrPercentDecode(c.source, &length, out, c.capacity);
        EXPECT_EQ(produced, c.produced.size());
        EXPECT_EQ(std::u16string(out, produced), c.produced);
        EXPECT_EQ(length, c.consumed);
        // Counting only gives the same production when the capacity is not the limit.
        if (c.capacity >= c.length) {
            DWORD countLength = c.length;
            EXPECT_EQ(StrPercentDecode(c.source, &countLength, nullptr, 0), produced);
        }
    }
    DWORD length = 5;
    EXPECT_EQ(StrPercentDecode(nullptr, &length, nullptr, 0), 0u);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(StrPercentDecode(u"abc", nullptr, nullptr, 0), 0u);
}

TEST(Bytes, CopyHandlesOverlapAndFillCoversTheCount) {
    BYTE data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(BytesCopy(data + 2, data, 5), kResultOk); // forward overlap
    const BYTE forward[8] = {1, 2, 1, 2, 3, 4, 5, 8};
    EXPECT_EQ(0, memcmp(data, forward, 8));
    EXPECT_EQ(BytesCopy(data, data + 3, 5), kResultOk); // backward overlap
    const BYTE backward[8] = {2, 3, 4, 5, 8, 4, 5, 8};
    EXPECT_EQ(0, memcmp(data, backward, 8));
    EXPECT_EQ(BytesFill(data + 1, 0xAB, 3), kResultOk);
    EXPECT_EQ(data[0], 2);
    EXPECT_EQ(data[3], 0xAB);
    EXPECT_EQ(data[4], 8);
    EXPECT_EQ(BytesCopy(nullptr, data, 1), kResultFail);
    EXPECT_EQ(BytesCopy(data, nullptr, 1), kResultFail);
    EXPECT_EQ(BytesFill(nullptr, 0, 1), kResultFail);
}

} // namespace

namespace {

// The units that would reach a terminal or a file name as something else: each is hidden,
// its printable neighbours are not.
TEST(StrIsHiddenControl, NamesTheC0C1DeleteAndBidirectionalControlsOnly) {
    const struct {
        WCHAR unit;
        bool hidden;
    } cases[] = {
        {0x00, true},    {0x1B, true},    {0x1F, true},    {0x20, false},  {0x7E, false},
        {0x7F, true},    {0x80, true},    {0x85, true},    {0x9B, true},   {0x9F, true},
        {0xA0, false},   {0xE9, false},   {0x061B, false}, {0x061C, true}, {0x200D, false},
        {0x200E, true},  {0x200F, true},  {0x2029, false}, {0x202A, true}, {0x202E, true},
        {0x202F, false}, {0x2065, false}, {0x2066, true},  {0x2069, true}, {0x206A, false},
        {0x65E5, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StrIsHiddenControl(c.unit), c.hidden) << std::hex << int(c.unit);
    }
}

} // namespace
