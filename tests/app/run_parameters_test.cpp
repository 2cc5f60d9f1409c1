// Reading the run parameters: decoding of texts, integers, and when automatic mode is chosen.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/CommandLine.h"
#include "app/RunParameters.h"
#include "base/Results.h"
#include "core/AppState.h"
#include "http/PropertyList.h"

namespace {

struct Expected {
    BOOL automatic = FALSE;
    std::u16string url;
    std::u16string path;
    std::u16string caption = kDefaultCaption;
    BOOL showWindow = kDefaultShowWindow;
    BOOL resume = kDefaultResume;
    LONG retry = kDefaultRetry;
    DWORD timeout = kDefaultTimeoutSeconds;
};

void Read(const std::u16string& line) {
    PropertyList list(nullptr);
    ASSERT_EQ(ParseCommandLine(line.c_str(), &list), kResultOk);
    ResetRunParameters();
    ReadRunParameters(&list);
}

void Check(const std::u16string& line, const Expected& expected) {
    const std::string shown(line.begin(), line.end());
    Read(line);
    EXPECT_EQ(gAutomaticMode, expected.automatic) << shown;
    EXPECT_EQ(std::u16string(gUrl.GetWide()), expected.url) << shown;
    EXPECT_EQ(std::u16string(gPath.GetWide()), expected.path) << shown;
    EXPECT_EQ(std::u16string(gCaption.GetWide()), expected.caption) << shown;
    EXPECT_EQ(gShowWindow, expected.showWindow) << shown;
    EXPECT_EQ(gResume, expected.resume) << shown;
    EXPECT_EQ(gRetry, expected.retry) << shown;
    EXPECT_EQ(gTimeoutSeconds, expected.timeout) << shown;
}

TEST(RunParametersTest, NothingGivenStaysInteractive) {
    Check(u"", {});
    Check(u"URL", {});
    Check(u"URL=&Path=&Caption=", {});
    Check(u"Retry&ShowWindow=", {});
    Check(u"url=http://h/f&path=x&SHOWWINDOW=0", {}); // keys are compared exactly
    Check(u"Unknown=1", {});
}

TEST(RunParametersTest, TextsArePercentDecoded) {
    Expected e;
    e.automatic = TRUE;
    e.url = u"http://h\\f";
    Check(u"URL=http%3A%2F%2Fh%5Cf", e);

    e = {};
    e.automatic = TRUE;
    e.caption = u"a=b&c%d";
    Check(u"Caption=a%3Db%26c%25d", e);

    // Escapes are bytes, read as UTF-8: one character for "%C3%A9", not two.
    e = {};
    e.automatic = TRUE;
    e.path = u"\\My Documents\\\u00e9";
    Check(u"Path=\\My%20Documents\\%C3%A9", e);

    e = {};
    e.automatic = TRUE;
    e.url = u"http://h/\u65e5\u672c \u8a9e.bin";
    e.caption = u"100% \u65e5"; // a "%" that begins no escape stays
    Check(u"URL=http://h/%E6%97%A5%E6%9C%AC%20%E8%AA%9E.bin&Caption=100% %e6%97%a5", e);

    e = {};
    e.automatic = TRUE;
    e.url = u"http://h/f?a=1"; // a raw "=" arrives as given
    Check(u"URL=http://h/f?a=1", e);

    e = {};
    e.automatic = TRUE;
    e.url = u"b";
    Check(u"URL=a&URL=b", e);
}

TEST(RunParametersTest, EscapesThatAreNotUtf8AreReadInTheCodePage) {
    const char* saved = std::getenv("LC_ALL");
    const std::string previous = saved != nullptr ? saved : "";
    setenv("LC_ALL", "fr_FR.ISO-8859-1", 1);
    Expected e;
    e.automatic = TRUE;
    e.path = u"caf\u00e9 \u00e9"; // a run that is not UTF-8, then one that is
    Check(u"Path=caf%E9 %C3%A9", e);
    if (saved != nullptr) {
        setenv("LC_ALL", previous.c_str(), 1);
    } else {
        unsetenv("LC_ALL");
    }
}

TEST(RunParametersTest, IntegersAndFlags) {
    const struct {
        std::u16string line;
        BOOL showWindow;
        BOOL resume;
        LONG retry;
        DWORD timeout = kDefaultTimeoutSeconds;
    } cases[] = {
        {u"ShowWindow=0", FALSE, TRUE, 0},
        {u"ShowWindow=7", TRUE, TRUE, 0},
        {u"ShowWindow=-0", FALSE, TRUE, 0},
        {u"Resume=0", TRUE, FALSE, 0},
        {u"Resume=-1", TRUE, TRUE, 0},
        {u"ShowWindow=0&Resume=0&Retry=5", FALSE, FALSE, 5},
        {u"Retry=-3", TRUE, TRUE, -3},
        {u"Retry=+12", TRUE, TRUE, 12},
        {u"Retry=4294967295", TRUE, TRUE, -1},
        {u"ShowWindow=0&ShowWindow=1", TRUE, TRUE, 0},
        // Not a number: present (automatic mode), the default stays.
        {u"ShowWindow=yes", TRUE, TRUE, 0},
        {u"ShowWindow=%30", TRUE, TRUE, 0},
        {u"Resume=no", TRUE, TRUE, 0},
        {u"Retry=3x", TRUE, TRUE, 0},
        {u"Retry= 3", TRUE, TRUE, 0},
        {u"Timeout=0", TRUE, TRUE, 0, 0}, // waits forever
        {u"Timeout=2&Retry=3", TRUE, TRUE, 3, 2},
        {u"Timeout=-5", TRUE, TRUE, 0},
        {u"Timeout=4294967", TRUE, TRUE, 0, 4294967},
        {u"Timeout=4294968", TRUE, TRUE, 0, kLargestTimeoutSeconds}, // ms no longer fit
        {u"Timeout=1s", TRUE, TRUE, 0},
    };
    for (const auto& c : cases) {
        Expected e;
        e.automatic = TRUE;
        e.showWindow = c.showWindow;
        e.resume = c.resume;
        e.retry = c.retry;
        e.timeout = c.timeout;
        Check(c.line, e);
    }
}

TEST(RunParametersTest, LongestValueDecodesWhole) {
    const std::u16string value(kLongestValue, u'x');
    Read(u"Path=" + value);
    EXPECT_EQ(std::u16string(gPath.GetWide()), value);
}

} // namespace
