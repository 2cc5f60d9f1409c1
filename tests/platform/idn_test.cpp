// IdnToAscii: the ASCII form of host names, the names it refuses, size queries and bad
// arguments.
#include <string>

#include <gtest/gtest.h>
#include <windows.h>

namespace {

struct IdnCase {
    const char16_t* name;
    DWORD flags;
    const char16_t* ascii; // null: refused with error
    DWORD error;
};

constexpr IdnCase kIdnCases[] = {
    // ASCII, address literals included, is copied as it is: no case folding, no checks.
    {u"example.com", 0, u"example.com", 0},
    {u"Example.COM", 0, u"Example.COM", 0},
    {u"127.0.0.1", 0, u"127.0.0.1", 0},
    {u"::1", 0, u"::1", 0},
    {u"fe80::1%eth0", 0, u"fe80::1%eth0", 0},
    {u"xn--r8jz45g.xn--zckzah", 0, u"xn--r8jz45g.xn--zckzah", 0},
    // Unicode labels become A-labels; the ASCII labels beside them are mapped too.
    {u"例え.テスト", 0, u"xn--r8jz45g.xn--zckzah", 0},
    {u"例え.テスト.", 0, u"xn--r8jz45g.xn--zckzah.", 0},
    {u"Bücher.DE", 0, u"xn--bcher-kva.de", 0},
    {u"ＥＸＡＭＰＬＥ.ｃｏｍ.例え", 0, u"example.com.xn--r8jz45g", 0},
    {u"BÜCHER.de", 0, u"xn--bcher-kva.de", 0},
    // Non-transitional: sharp s stays a letter of its own.
    {u"faß.de", 0, u"xn--fa-hia.de", 0},
    // Composed before the check: u and a combining diaeresis are ü.
    {u"bu\u0308cher.de", 0, u"xn--bcher-kva.de", 0},
    // Underscores and spaces pass without the STD3 rules and are refused (not dropped) with
    // them, full-width ones and ASCII names included.
    {u"a_b.例え", 0, u"a_b.xn--r8jz45g", 0},
    {u"a_b.例え", IDN_USE_STD3_ASCII_RULES, nullptr, ERROR_INVALID_NAME},
    {u"a\uff3fb.例え", IDN_USE_STD3_ASCII_RULES, nullptr, ERROR_INVALID_NAME},
    {u"a b.例え", IDN_USE_STD3_ASCII_RULES, nullptr, ERROR_INVALID_NAME},
    {u"a_b.com", IDN_USE_STD3_ASCII_RULES, nullptr, ERROR_INVALID_NAME},
    {u"a-b.com", IDN_USE_STD3_ASCII_RULES, u"a-b.com", 0},
    {u"例え.テスト", IDN_ALLOW_UNASSIGNED | IDN_USE_STD3_ASCII_RULES, u"xn--r8jz45g.xn--zckzah", 0},
    // What IDNA 2008 refuses.
    {u"☃.net", 0, nullptr, ERROR_INVALID_NAME},
    {u"-ab.例え", 0, nullptr, ERROR_INVALID_NAME},
    {u"ab--c.例え", 0, nullptr, ERROR_INVALID_NAME},
    {u"\u200d.例え", 0, nullptr, ERROR_INVALID_NAME},
    {u"例え.テスト:80", 0, nullptr, ERROR_INVALID_NAME},
    {u"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa.例え", 0, nullptr,
     ERROR_INVALID_NAME},
    {u"\xd800例え", 0, nullptr, ERROR_NO_UNICODE_TRANSLATION},
    {u"例え", IDN_RAW_PUNYCODE, nullptr, ERROR_INVALID_FLAGS},
    {u"例え", IDN_EMAIL_ADDRESS, nullptr, ERROR_INVALID_FLAGS},
};

TEST(IdnToAscii, ConvertsOrRefusesEachName) {
    for (const IdnCase& c : kIdnCases) {
        const std::u16string name(c.name);
        SCOPED_TRACE(std::string(name.begin(), name.end()));
        WCHAR out[256] = {};
        SetLastError(0);
        const int written = IdnToAscii(c.flags, c.name, -1, out, 256);
        if (c.ascii == nullptr) {
            EXPECT_EQ(0, written);
            EXPECT_EQ(c.error, GetLastError());
            continue;
        }
        const std::u16string expected(c.ascii);
        // The terminator is converted and counted with a length of -1.
        EXPECT_EQ(int(expected.size() + 1), written);
        EXPECT_EQ(expected, std::u16string(out));
        // A size query answers the same count; a counted text gives no terminator.
        EXPECT_EQ(written, IdnToAscii(c.flags, c.name, -1, nullptr, 0));
        WCHAR counted[256];
        std::fill(counted, counted + 256, u'#');
        EXPECT_EQ(int(expected.size()),
                  IdnToAscii(c.flags, c.name, int(name.size()), counted, 256));
        EXPECT_EQ(expected, std::u16string(counted, expected.size()));
        EXPECT_EQ(u'#', counted[expected.size()]);
    }
}

TEST(IdnToAscii, RefusesBadArgumentsAndShortBuffers) {
    WCHAR out[32];
    struct {
        LPCWSTR name;
        int length;
        LPWSTR buffer;
        int capacity;
        DWORD error;
    } const cases[] = {
        {nullptr, -1, out, 32, ERROR_INVALID_PARAMETER},
        {u"a", 0, out, 32, ERROR_INVALID_PARAMETER},
        {u"a", -2, out, 32, ERROR_INVALID_PARAMETER},
        {u"a", -1, out, -1, ERROR_INVALID_PARAMETER},
        {u"a", -1, nullptr, 32, ERROR_INVALID_PARAMETER},
        {u"a\0b", 3, out, 32, ERROR_INVALID_NAME},
        // "xn--r8jz45g" and its terminator need 12 units.
        {u"例え", -1, out, 11, ERROR_INSUFFICIENT_BUFFER},
        {u"abc", -1, out, 3, ERROR_INSUFFICIENT_BUFFER},
    };
    for (const auto& c : cases) {
        SetLastError(0);
        EXPECT_EQ(0, IdnToAscii(0, c.name, c.length, c.buffer, c.capacity));
        EXPECT_EQ(c.error, GetLastError());
    }
    EXPECT_EQ(12, IdnToAscii(0, u"例え", -1, out, 12));
    EXPECT_EQ(std::u16string(u"xn--r8jz45g"), std::u16string(out));
}

} // namespace
