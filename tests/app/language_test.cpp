// The language test follows the system language at every call.
#include <gtest/gtest.h>

#include "app/Language.h"
#include "tests/platform/scoped_env.h"

namespace {

TEST(LanguageTest, OnlyJapaneseOfJapanIsJapanese) {
    const struct {
        const char* lang;
        bool japanese;
    } cases[] = {
        {"ja_JP.UTF-8", true},  {"ja_JP", true}, {"ja", false}, // Japanese of no country
        {"en_US.UTF-8", false}, {"C", false},    {nullptr, false},
    };
    ScopedEnv env;
    env.clearLocale();
    for (const auto& c : cases) {
        env.set("LANG", c.lang); // asked again at every call: nothing is cached
        EXPECT_EQ(IsJapanese(), c.japanese) << (c.lang ? c.lang : "(unset)");
        EXPECT_STREQ(ByLanguage("ja", "en"), c.japanese ? "ja" : "en");
    }
}

} // namespace
