// WString: the empty value is never null, and narrow <-> wide round trips keep the bytes of
// the default ANSI code page (UTF-8 by default, Shift-JIS in a Japanese locale).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/WString.h"

namespace {

// The tests choose the code page through the locale variables, as a user would.
class LocaleGuard {
public:
    explicit LocaleGuard(const char* locale) { setenv("LC_ALL", locale, 1); }
    ~LocaleGuard() { setenv("LC_ALL", "C.UTF-8", 1); }
};

const bool utf8Locale = [] { return setenv("LC_ALL", "C.UTF-8", 1) == 0; }();

std::u16string Wide(LPCWSTR text) {
    return text;
}

TEST(WString, EmptyValuesAreNeverNull) {
    ASSERT_TRUE(utf8Locale);
    WString s;
    ASSERT_NE(s.GetWide(), nullptr);
    EXPECT_EQ(s.GetWide()[0], 0);
    s.AssignWide(nullptr);
    ASSERT_NE(s.GetWide(), nullptr);
    EXPECT_EQ(Wide(s.GetWide()), u"");
    s.AssignNarrow(nullptr);
    EXPECT_EQ(Wide(s.GetWide()), u"");
    s.Clear();
    s.Clear(); // clearing the shared empties releases nothing
    EXPECT_EQ(Wide(s.GetWide()), u"");
}

TEST(WString, NarrowCopyOfEmptyIsFreshAndReplacedByTheNextRead) {
    WString s;
    LPCSTR first = s.GetNarrow();
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first, "");
    LPCSTR second = s.GetNarrow(); // releases the first (ASan would flag a leak or reuse)
    ASSERT_NE(second, nullptr);
    EXPECT_STREQ(second, "");
}

TEST(WString, Utf8RoundTripsKeepEveryByte) {
    const char* texts[] = {"",       "plain ASCII",      "日本語のファイル名.txt",
                           "エラー", "😀 beyond the BMP", "Grüße"};
    for (const char* text : texts) {
        WString s;
        s.AssignNarrow(text);
        EXPECT_STREQ(s.GetNarrow(), text);
    }
    WString s;
    s.AssignNarrow("日本語");
    EXPECT_EQ(Wide(s.GetWide()), u"日本語");
    s.AssignWide(u"😀");
    EXPECT_STREQ(s.GetNarrow(), "😀");
}

TEST(WString, ShiftJisLocaleRoundTripsJapanese) {
    LocaleGuard guard("ja_JP.SJIS");
    const char sjis[] = "\x93\xfa\x96\x7b\x8c\xea"; // 日本語
    WString s;
    s.AssignNarrow(sjis);
    EXPECT_EQ(Wide(s.GetWide()), u"日本語");
    EXPECT_STREQ(s.GetNarrow(), sjis);
}

} // namespace
