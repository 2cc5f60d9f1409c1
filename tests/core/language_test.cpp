// The language test follows the system language at every call, and the platform's own
// texts (the terminal's size notice) follow the same rule.
#include <gtest/gtest.h>

#include "core/Language.h"
#include "platform/render/terminal/size_notice.h"
#include "tests/platform/scoped_env.h"

namespace {

TEST(LanguageTest, OnlyJapaneseOfJapanIsJapanese) {
    const struct {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        bool japanese;
    } cases[] = {
        {nullptr, nullptr, "ja_JP.UTF-8", true},
        {nullptr, nullptr, "ja_JP", true},
        {nullptr, nullptr, "ja-JP", true}, // a language tag names the same locale
        {nullptr, nullptr, "ja", false},   // Japanese of no country
        {nullptr, nullptr, "ja_US.UTF-8", false},
        {nullptr, nullptr, "en_US.UTF-8", false},
        {nullptr, nullptr, "C", false},
        {nullptr, nullptr, "", false},
        {nullptr, nullptr, nullptr, false},
        // LC_ALL, then LC_MESSAGES, then LANG; an empty variable counts as unset.
        {"ja_JP.UTF-8", "en_US.UTF-8", "en_US.UTF-8", true},
        {"C", "ja_JP.UTF-8", "ja_JP.UTF-8", false},
        {"", "ja_JP.UTF-8", "en_US", true},
        {nullptr, "en_US", "ja_JP.UTF-8", false},
        {nullptr, "", "ja_JP.UTF-8", true},
    };
    ScopedEnv env;
    for (const auto& c : cases) {
        env.clearLocale();
        env.set("LC_ALL", c.lcAll);
        env.set("LC_MESSAGES", c.lcMessages);
        env.set("LANG", c.lang); // asked again at every call: nothing is cached
        const std::string label = std::string(c.lcAll ? c.lcAll : "-") + "/" +
                                  (c.lcMessages ? c.lcMessages : "-") + "/" +
                                  (c.lang ? c.lang : "-");
        EXPECT_EQ(IsJapanese(), c.japanese) << label;
        EXPECT_STREQ(ByLanguage("ja", "en"), c.japanese ? "ja" : "en") << label;
        EXPECT_EQ(qb::render::terminal::SystemIsJapanese(), c.japanese) << label;
    }
}

} // namespace
