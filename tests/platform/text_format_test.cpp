// wsprintfW (the subset the system formats with), lstrlenW and lstrcmpW.
#include <cstdint>
#include <string>

#include <gtest/gtest.h>
#include <windows.h>

namespace {

constexpr int kWsprintfLimit = 1024;

TEST(WsprintfTest, FormatsTheSubset) {
    WCHAR buffer[kWsprintfLimit];
    auto check = [&](int written, const char16_t* expected) {
        EXPECT_EQ(std::u16string(buffer), expected);
        EXPECT_EQ(written, int(std::u16string(expected).size()));
    };
    check(wsprintfW(buffer, u"%u of %u", 5u, 4000000000u), u"5 of 4000000000");
    check(wsprintfW(buffer, u"%d|%i", -5, 7), u"-5|7");
    check(wsprintfW(buffer, u"%I64u", uint64_t{5000000000}), u"5000000000");
    check(wsprintfW(buffer, u"%I64u", UINT64_MAX), u"18446744073709551615");
    check(wsprintfW(buffer, u"%I64i|%I64d", int64_t{-5000000000}, INT64_MIN),
          u"-5000000000|-9223372036854775808");
    check(wsprintfW(buffer, u"%s: %s", u"名前", u"file.zip"), u"名前: file.zip");
    check(wsprintfW(buffer, u"%c%c", u'日', u'x'), u"日x");
    check(wsprintfW(buffer, u"100%%"), u"100%");
    check(wsprintfW(buffer, u"[%5d][%-5d][%05d][%02u]", 42, 42, -42, 7u),
          u"[   42][42   ][-0042][07]");
    check(wsprintfW(buffer, u"[%.2s][%4s]", u"abcdef", u"ab"), u"[ab][  ab]");
    check(wsprintfW(buffer, u"%x %X %lu %ld", 255u, 255u, 7u, -7), u"ff FF 7 -7");
    check(wsprintfW(buffer, u"%s", static_cast<LPCWSTR>(nullptr)), u"(null)");
    check(wsprintfW(buffer, u"%q and %"), u"%q and %"); // not conversions of the subset
}

TEST(WsprintfTest, StopsAtTheLimitAndTerminates) {
    std::u16string longText(3000, u'a');
    WCHAR buffer[kWsprintfLimit + 16];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(kWsprintfLimit - 1, wsprintfW(buffer, u"%s%u", longText.c_str(), 12345u));
    EXPECT_EQ(buffer[kWsprintfLimit - 1], 0);
    EXPECT_EQ(buffer[kWsprintfLimit], u'#');
}

TEST(WsprintfTest, NullArgumentsDoNotCrash) {
    WCHAR buffer[8] = {u'x'};
    EXPECT_EQ(0, wsprintfW(buffer, nullptr));
    EXPECT_EQ(buffer[0], 0);
    EXPECT_LT(wsprintfW(nullptr, u"abc"), 0);
}

TEST(LstrTest, LengthAndComparison) {
    EXPECT_EQ(0, lstrlenW(nullptr));
    EXPECT_EQ(0, lstrlenW(u""));
    EXPECT_EQ(3, lstrlenW(u"日本語"));

    struct Case {
        const char16_t* a;
        const char16_t* b;
        int expected;
    };
    const Case cases[] = {
        {u"abc", u"abc", 0},   {u"abc", u"abd", -1}, {u"abd", u"abc", 1},
        {u"ab", u"abc", -1},   {u"a", u"B", -1},     {u"B", u"a", 1}, // case-blind first
        {u"a", u"A", -1},      {u"A", u"a", 1},      {u"ABc", u"abd", -1},
        {nullptr, nullptr, 0}, {nullptr, u"a", -1},  {u"a", nullptr, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, lstrcmpW(c.a, c.b))
            << testing::PrintToString(std::u16string(c.a ? c.a : u"(null)")) << " vs "
            << testing::PrintToString(std::u16string(c.b ? c.b : u"(null)"));
    }
}

} // namespace
