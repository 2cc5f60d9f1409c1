// MultiByteToWideChar / WideCharToMultiByte: UTF-8, the locale's code page, replacement
// rules, size queries and bad arguments.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "scoped_env.h"
#include "tests/support/text_cases.h"

namespace {

std::u16string toWide(UINT codePage, const std::string& bytes, DWORD flags = 0) {
    const int needed =
        MultiByteToWideChar(codePage, flags, bytes.data(), int(bytes.size()), nullptr, 0);
    std::u16string out(size_t(needed), u'\0');
    if (needed > 0) {
        EXPECT_EQ(needed, MultiByteToWideChar(codePage, flags, bytes.data(), int(bytes.size()),
                                              out.data(), needed));
    }
    return out;
}

std::string toNarrow(UINT codePage, const std::u16string& text, LPCSTR defaultChar = nullptr,
                     BOOL* usedDefault = nullptr) {
    const int needed = WideCharToMultiByte(codePage, 0, text.data(), int(text.size()), nullptr, 0,
                                           defaultChar, usedDefault);
    std::string out(size_t(needed), '\0');
    if (needed > 0) {
        EXPECT_EQ(needed, WideCharToMultiByte(codePage, 0, text.data(), int(text.size()),
                                              out.data(), needed, defaultChar, usedDefault));
    }
    return out;
}

class CodePageTest : public ::testing::Test {
protected:
    void SetUp() override { env_.clearLocale(); }
    ScopedEnv env_;
};

TEST_F(CodePageTest, Utf8RoundTripWithTerminatorCounted) {
    const char* text = "日本語 ok \xF0\x9F\x98\x80"; // includes a character outside the BMP
    const int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    ASSERT_EQ(units, int(std::u16string(u"日本語 ok \U0001F600").size()) + 1);
    std::vector<WCHAR> wide(size_t(units), u'x');
    ASSERT_EQ(units, MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), units));
    EXPECT_EQ(std::u16string(wide.data()), u"日本語 ok \U0001F600");
    EXPECT_EQ(wide.back(), 0);

    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
    ASSERT_EQ(bytes, int(std::string(text).size()) + 1);
    std::vector<char> narrow(size_t(bytes), 'x');
    ASSERT_EQ(bytes, WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, narrow.data(), bytes, nullptr,
                                         nullptr));
    EXPECT_STREQ(narrow.data(), text);
}

TEST_F(CodePageTest, ExplicitLengthConvertsEmbeddedNulAndAddsNoTerminator) {
    EXPECT_EQ(toWide(CP_UTF8, std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
    EXPECT_EQ(toNarrow(CP_UTF8, std::u16string(u"a\0b", 3)), std::string("a\0b", 3));
}

TEST_F(CodePageTest, HardUtf8CasesConvertOneReplacementPerMaximalSubpart) {
    for (const qb::test::Utf8Case& c : qb::test::kUtf8Cases) {
        SCOPED_TRACE(c.name);
        const std::string input(c.utf8);
        EXPECT_EQ(toWide(CP_UTF8, input), c.utf16);
        SetLastError(0);
        const int strict = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, input.data(),
                                               int(input.size()), nullptr, 0);
        if (c.wellFormed) {
            EXPECT_EQ(strict, int(c.utf16.size()));
            EXPECT_EQ(toNarrow(CP_UTF8, std::u16string(c.utf16)), input);
        } else {
            EXPECT_EQ(strict, 0);
            EXPECT_EQ(DWORD(ERROR_NO_UNICODE_TRANSLATION), GetLastError());
        }
    }
}

TEST_F(CodePageTest, HardUtf16CasesReplaceEachLoneSurrogate) {
    for (const qb::test::Utf16Case& c : qb::test::kUtf16Cases) {
        SCOPED_TRACE(c.name);
        const std::u16string input(c.utf16);
        EXPECT_EQ(toNarrow(CP_UTF8, input), c.utf8);
        SetLastError(0);
        const int strict = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, input.data(),
                                               int(input.size()), nullptr, 0, nullptr, nullptr);
        if (c.wellFormed) {
            EXPECT_EQ(strict, int(c.utf8.size()));
        } else {
            EXPECT_EQ(strict, 0);
            EXPECT_EQ(DWORD(ERROR_NO_UNICODE_TRANSLATION), GetLastError());
        }
    }
}

TEST_F(CodePageTest, OutputTooSmallFailsWithInsufficientBuffer) {
    WCHAR wide[3] = {u'x', u'x', u'x'};
    SetLastError(0);
    EXPECT_EQ(0, MultiByteToWideChar(CP_UTF8, 0, "abc", -1, wide, 3));
    EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(3, MultiByteToWideChar(CP_UTF8, 0, "abc", 3, wide, 3)); // no terminator: fits

    char narrow[3];
    SetLastError(0);
    EXPECT_EQ(0, WideCharToMultiByte(CP_UTF8, 0, u"日", -1, narrow, 3, nullptr, nullptr));
    EXPECT_EQ(DWORD(ERROR_INSUFFICIENT_BUFFER), GetLastError());
}

TEST_F(CodePageTest, AnsiCodePageFollowsLocaleVariablesInOrder) {
    const std::string sjis = "\x93\xfa\x96\x7b"; // 日本 in code page 932
    const std::string eucjp = "\xc6\xfc\xcb\xdc";
    const std::string utf8 = "日本";
    struct Case {
        const char* lcAll;
        const char* lcCtype;
        const char* lang;
        const std::string& expected;
    };
    const Case cases[] = {
        {nullptr, nullptr, "ja_JP.SJIS", sjis},
        {nullptr, nullptr, "ja_JP.eucJP", eucjp},
        {nullptr, nullptr, "ja_JP.UTF-8", utf8},
        {nullptr, nullptr, "ja_JP.utf8", utf8},
        {nullptr, nullptr, "ja_JP", utf8}, // no codeset named
        {nullptr, nullptr, "C", utf8},
        {nullptr, nullptr, "POSIX", utf8},
        {nullptr, nullptr, nullptr, utf8},
        {nullptr, "ja_JP.SJIS", "ja_JP.eucJP", sjis},
        {"ja_JP.eucJP", "ja_JP.SJIS", "C", eucjp},
        {"", "ja_JP.SJIS", nullptr, sjis}, // an empty variable counts as unset
        {nullptr, nullptr, "xx_XX.NO-SUCH-SET", utf8},
    };
    for (const Case& c : cases) {
        ScopedEnv env;
        env.set("LC_ALL", c.lcAll);
        env.set("LC_CTYPE", c.lcCtype);
        env.set("LANG", c.lang);
        const std::string label = std::string(c.lcAll ? c.lcAll : "-") + "/" +
                                  (c.lcCtype ? c.lcCtype : "-") + "/" + (c.lang ? c.lang : "-");
        EXPECT_EQ(toNarrow(CP_ACP, u"日本"), c.expected) << label;
        EXPECT_EQ(toWide(CP_ACP, c.expected), u"日本") << label;
    }
}

TEST_F(CodePageTest, UnmappableCharacterBecomesDefaultCharacter) {
    env_.set("LANG", "ja_JP.SJIS");
    BOOL used = TRUE;
    EXPECT_EQ(toNarrow(CP_ACP, u"日本", nullptr, &used), "\x93\xfa\x96\x7b");
    EXPECT_FALSE(used);
    EXPECT_EQ(toNarrow(CP_ACP, u"a\u00e9\U0001F600b", nullptr, &used), "a??b");
    EXPECT_TRUE(used);
    EXPECT_EQ(toNarrow(CP_ACP, u"\u00e9", "*", &used), "*");
    EXPECT_EQ(toNarrow(CP_ACP, u"x\xD800", nullptr, &used), "x?"); // lone surrogate at the end
    EXPECT_EQ(toNarrow(932, u"\u00e9"), "?");
}

TEST_F(CodePageTest, InvalidMultiByteInputBecomesReplacement) {
    EXPECT_EQ(toWide(932, "\x81 a"), u"\uFFFD a"); // lead byte with a bad trail byte
    EXPECT_EQ(toWide(932, "a\x81"), u"a\uFFFD");   // lead byte at the end
}

TEST_F(CodePageTest, LengthMinusOneCountsTerminatorInSizeQueries) {
    env_.set("LANG", "ja_JP.SJIS");
    EXPECT_EQ(3, MultiByteToWideChar(CP_ACP, 0, "\x93\xfa\x96\x7b", -1, nullptr, 0));
    EXPECT_EQ(5, WideCharToMultiByte(CP_ACP, 0, u"日本", -1, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(1, MultiByteToWideChar(CP_ACP, 0, "", -1, nullptr, 0));
    EXPECT_EQ(1, WideCharToMultiByte(CP_ACP, 0, u"", -1, nullptr, 0, nullptr, nullptr));
}

TEST_F(CodePageTest, BadArgumentsFailWithoutTouchingOutput) {
    WCHAR wide[4] = {u'x'};
    char narrow[4] = {'x'};
    BOOL used = FALSE;
    struct Case {
        const char* label;
        std::function<int()> call;
        DWORD error;
    };
    const Case cases[] = {
        {"null source", [&] { return MultiByteToWideChar(CP_UTF8, 0, nullptr, -1, wide, 4); },
         ERROR_INVALID_PARAMETER},
        {"zero length", [&] { return MultiByteToWideChar(CP_UTF8, 0, "a", 0, wide, 4); },
         ERROR_INVALID_PARAMETER},
        {"length below -1", [&] { return MultiByteToWideChar(CP_UTF8, 0, "a", -2, wide, 4); },
         ERROR_INVALID_PARAMETER},
        {"negative capacity", [&] { return MultiByteToWideChar(CP_UTF8, 0, "a", -1, wide, -1); },
         ERROR_INVALID_PARAMETER},
        {"null output", [&] { return MultiByteToWideChar(CP_UTF8, 0, "a", -1, nullptr, 4); },
         ERROR_INVALID_PARAMETER},
        {"unknown code page", [&] { return MultiByteToWideChar(54321, 0, "a", -1, wide, 4); },
         ERROR_INVALID_PARAMETER},
        {"flags for UTF-8",
         [&] { return MultiByteToWideChar(CP_UTF8, MB_PRECOMPOSED, "a", -1, wide, 4); },
         ERROR_INVALID_FLAGS},
        {"unknown flag", [&] { return MultiByteToWideChar(CP_ACP, 0x1000, "a", -1, wide, 4); },
         ERROR_INVALID_FLAGS},
        {"null wide source",
         [&] { return WideCharToMultiByte(CP_UTF8, 0, nullptr, -1, narrow, 4, nullptr, nullptr); },
         ERROR_INVALID_PARAMETER},
        {"zero wide length",
         [&] { return WideCharToMultiByte(CP_UTF8, 0, u"a", 0, narrow, 4, nullptr, nullptr); },
         ERROR_INVALID_PARAMETER},
        {"null narrow output",
         [&] { return WideCharToMultiByte(CP_UTF8, 0, u"a", -1, nullptr, 4, nullptr, nullptr); },
         ERROR_INVALID_PARAMETER},
        {"used-default flag for UTF-8",
         [&] { return WideCharToMultiByte(CP_UTF8, 0, u"a", -1, narrow, 4, nullptr, &used); },
         ERROR_INVALID_PARAMETER},
        {"unknown wide code page",
         [&] { return WideCharToMultiByte(54321, 0, u"a", -1, narrow, 4, nullptr, nullptr); },
         ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(0, c.call()) << c.label;
        EXPECT_EQ(c.error, GetLastError()) << c.label;
    }
    EXPECT_EQ(wide[0], u'x');
    EXPECT_EQ(narrow[0], 'x');
}

} // namespace
