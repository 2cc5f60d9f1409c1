// GetSystemDefaultLangID from the locale variables.
#include <gtest/gtest.h>
#include <windows.h>

#include "scoped_env.h"

namespace {

TEST(LanguageTest, IdentifierFollowsLocaleVariables) {
    struct Case {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        LANGID expected;
    };
    const Case cases[] = {
        {nullptr, nullptr, "ja_JP.UTF-8", 0x0411},
        {nullptr, nullptr, "ja_JP.SJIS@euro", 0x0411},
        {nullptr, nullptr, "ja-JP", 0x0411}, // a language tag's separator
        {nullptr, nullptr, "ja", 0x0011},
        {nullptr, nullptr, "ja_US.UTF-8", 0x0011}, // Japanese of another country: neutral
        {nullptr, nullptr, "en_US.UTF-8", 0x0409},
        {nullptr, nullptr, "en_GB", 0x0809},
        {nullptr, nullptr, "de_DE.UTF-8", 0x0407},
        {nullptr, nullptr, "fr", 0x000C},
        {nullptr, nullptr, "C", 0x0409},
        {nullptr, nullptr, "C.UTF-8", 0x0409},
        {nullptr, nullptr, "POSIX", 0x0409},
        {nullptr, nullptr, nullptr, 0x0409},
        {nullptr, nullptr, "xx_YY", 0x0409},
        {nullptr, "ja_JP.UTF-8", "en_US.UTF-8", 0x0411},
        {"en_US.UTF-8", "ja_JP.UTF-8", "ja_JP.UTF-8", 0x0409},
        {"", "ja_JP.UTF-8", nullptr, 0x0411},
    };
    for (const Case& c : cases) {
        ScopedEnv env;
        env.clearLocale();
        env.set("LC_ALL", c.lcAll);
        env.set("LC_MESSAGES", c.lcMessages);
        env.set("LANG", c.lang);
        EXPECT_EQ(c.expected, GetSystemDefaultLangID())
            << (c.lcAll ? c.lcAll : "-") << "/" << (c.lcMessages ? c.lcMessages : "-") << "/"
            << (c.lang ? c.lang : "-");
    }
}

TEST(LanguageTest, CharacterTypeDoesNotChooseTheLanguage) {
    ScopedEnv env;
    env.clearLocale();
    env.set("LC_CTYPE", "ja_JP.UTF-8");
    EXPECT_EQ(0x0409, GetSystemDefaultLangID());
}

} // namespace
