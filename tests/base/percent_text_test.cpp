// Percent-escapes read as bytes: UTF-8 runs, the code-page fallback, and the bounds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/PercentText.h"
#include "base/Results.h"

namespace {

// The tests choose the code page through the locale, as a user would.
class LocaleGuard {
public:
    explicit LocaleGuard(const char* locale) { setenv("LC_ALL", locale, 1); }
    ~LocaleGuard() { setenv("LC_ALL", "C.UTF-8", 1); }
};

struct DecodeCase {
    std::u16string source;
    BOOL fallback;
    int result;
    std::u16string decoded;
};

void Check(const DecodeCase& c, DWORD capacity = 64) {
    SCOPED_TRACE(std::string(c.source.begin(), c.source.end()));
    std::u16string out(capacity, u'#');
    EXPECT_EQ(PercentDecodeText(c.source.c_str(), static_cast<DWORD>(c.source.size()), out.data(),
                                capacity, c.fallback),
              c.result);
    EXPECT_EQ(std::u16string(out.c_str()), c.decoded);
}

TEST(PercentDecodeText, EscapesAreBytesReadAsUtf8) {
    LocaleGuard utf8("C.UTF-8");
    const DecodeCase cases[] = {
        {u"%E6%97%A5%E6%9C%AC%20%E8%AA%9E.bin", FALSE, kResultOk, u"\u65e5\u672c \u8a9e.bin"},
        {u"caf%C3%a9", FALSE, kResultOk, u"caf\u00e9"},
        {u"%F0%9F%98%80", FALSE, kResultOk, u"\U0001F600"},
        {u"a%26b%3D%25", FALSE, kResultOk, u"a&b=%"},
        {u"\u65e5%20x", FALSE, kResultOk, u"\u65e5 x"}, // typed characters stay as they are
        {u"+", FALSE, kResultOk, u"+"},
        // A "%" without two hex digits is no escape.
        {u"100%", TRUE, kResultOk, u"100%"},
        {u"%4", TRUE, kResultOk, u"%4"},
        {u"%zz%41", TRUE, kResultOk, u"%zzA"},
        {u"%%41", TRUE, kResultOk, u"%A"},
        // Not UTF-8: refused without the fallback; with it, the UTF-8 locale's page
        // replaces the bad byte.
        {u"caf%E9", FALSE, kResultNo, u""},
        {u"%C3", FALSE, kResultNo, u""},
        {u"%ED%A0%80", FALSE, kResultNo, u""}, // an encoded surrogate
        {u"caf%E9", TRUE, kResultOk, u"caf\ufffd"},
        // Each run is judged on its own.
        {u"%C3%A9-%E9", FALSE, kResultNo, u""},
        {u"a%00b", FALSE, kResultOk, u"a"}, // NUL ends the text (see below)
        {u"", FALSE, kResultOk, u""},
    };
    for (const DecodeCase& c : cases) Check(c);
}

TEST(PercentDecodeText, FallsBackToTheCodePageOnlyWhenNotUtf8) {
    LocaleGuard latin1("fr_FR.ISO-8859-1");
    Check({u"caf%E9.txt", TRUE, kResultOk, u"caf\u00e9.txt"});
    Check({u"caf%C3%A9.txt", TRUE, kResultOk, u"caf\u00e9.txt"});  // UTF-8 wins
    Check({u"%C3%A9%E9", TRUE, kResultOk, u"\u00c3\u00a9\u00e9"}); // the run as a whole
}

TEST(PercentDecodeText, ResultsThatDoNotFitAreRefusedWhole) {
    LocaleGuard utf8("C.UTF-8");
    Check({u"abc", FALSE, kResultOk, u"abc"}, 4);
    Check({u"abcd", FALSE, kResultFail, u""}, 4);
    Check({u"ab%E6%97%A5", FALSE, kResultOk, u"ab\u65e5"}, 4);
    Check({u"abc%E6%97%A5", FALSE, kResultFail, u""}, 4);
    Check({u"%F0%9F%98%80", FALSE, kResultFail, u""}, 2); // a pair needs two units
    WCHAR out[4];
    EXPECT_EQ(PercentDecodeText(nullptr, 0, out, 4, TRUE), kResultFail);
    EXPECT_EQ(PercentDecodeText(u"a", 1, nullptr, 4, TRUE), kResultFail);
    EXPECT_EQ(PercentDecodeText(u"a", 1, out, 0, TRUE), kResultFail);
    // An escaped NUL is counted, so a caller can tell it from the end.
    DWORD produced = 9;
    EXPECT_EQ(PercentDecodeText(u"a%00b", 5, out, 4, FALSE, &produced), kResultOk);
    EXPECT_EQ(produced, 3u);
    EXPECT_EQ(PercentDecodeText(u"abcd", 4, out, 4, FALSE, &produced), kResultFail);
    EXPECT_EQ(produced, 0u);
    // Only length units are read.
    EXPECT_EQ(PercentDecodeText(u"ab%41", 3, out, 4, TRUE), kResultOk);
    EXPECT_EQ(std::u16string(out), u"ab%");
}

} // namespace
