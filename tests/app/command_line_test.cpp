// The command-line grammar: what each line leaves in the run-parameter list.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/CommandLine.h"
#include "base/Results.h"
#include "http/PropertyList.h"

namespace {

using Item = std::pair<std::u16string, std::optional<std::u16string>>; // no value: nullopt

struct Case {
    std::u16string line;
    bool accepted;
    std::vector<Item> items; // every entry the list must hold, in any order
};

// The list's entry for key: the text, nullopt for a key without value; false when absent.
bool Lookup(PropertyList& list, const std::u16string& key, std::optional<std::u16string>* value) {
    LONG index = -1;
    if (list.Find(key.c_str(), &index) != 0 || index < 0) return false;
    PropertyRecord record{};
    record.key = key.c_str();
    record.type = kPropertyWide;
    if (list.Get(&record) == kResultOk) {
        *value = std::u16string(record.wideText);
    } else {
        *value = std::nullopt;
    }
    return true;
}

std::u16string Repeat(char16_t unit, size_t count) {
    return std::u16string(count, unit);
}

std::vector<Case> Cases() {
    const std::u16string key1022 = Repeat(u'k', kLongestKey);
    const std::u16string key1023 = Repeat(u'k', kLongestKey + 1);
    const std::u16string value4094 = Repeat(u'v', kLongestValue);
    const std::u16string value4095 = Repeat(u'v', kLongestValue + 1);
    return {
        {u"", true, {{u"", std::nullopt}}},
        {u"URL=http://h/f", true, {{u"URL", u"http://h/f"}}},
        {u"URL=http://h/f&Path=\\tmp", true, {{u"URL", u"http://h/f"}, {u"Path", u"\\tmp"}}},
        // A raw "=" inside a value is kept where it stands.
        {u"URL=http://h/f?a=1&b==2", true, {{u"URL", u"http://h/f?a=1"}, {u"b", u"=2"}}},
        {u"a=1=2=", true, {{u"a", u"1=2="}}},
        // Escapes are stored as written; they are decoded when a value is read.
        {u"Caption=%41%26%3D", true, {{u"Caption", u"%41%26%3D"}}},
        // Keys without a value: no "=", or "=" at once followed by "&" or the end.
        {u"URL", true, {{u"URL", std::nullopt}}},
        {u"URL=", true, {{u"URL", std::nullopt}}},
        {u"URL=&Path=x", true, {{u"URL", std::nullopt}, {u"Path", u"x"}}},
        {u"a&", true, {{u"a", std::nullopt}, {u"", std::nullopt}}},
        {u"&&", true, {{u"", std::nullopt}}},
        {u"=value", true, {{u"", u"value"}}},
        // Repeated keys keep the later value; keys differ by case.
        {u"URL=a&URL=b", true, {{u"URL", u"b"}}},
        {u"URL=a&URL", true, {{u"URL", std::nullopt}}},
        {u"url=a&URL=b", true, {{u"url", u"a"}, {u"URL", u"b"}}},
        // Spaces are skipped at the very start only; quotes are plain characters.
        {u"   URL=a", true, {{u"URL", u"a"}}},
        {u"URL =a", true, {{u"URL ", u"a"}}},
        {u"URL= a &  Path=b", true, {{u"URL", u" a "}, {u"  Path", u"b"}}},
        {u"\"URL\"=\"x\"", true, {{u"\"URL\"", u"\"x\""}}},
        // Limits: keys of 1022 and values of 4094 characters, one more rejects the line.
        {key1022 + u"=x", true, {{key1022, u"x"}}},
        {key1022, true, {{key1022, std::nullopt}}},
        {key1023 + u"=x", false, {}},
        {key1023, false, {}},
        {u"URL=" + value4094, true, {{u"URL", value4094}}},
        {u"URL=" + value4095, false, {}},
        {u"Path=x&URL=" + value4095 + u"&Caption=c", false, {{u"Path", u"x"}}},
    };
}

TEST(CommandLineTest, Grammar) {
    for (const Case& c : Cases()) {
        const std::string shown(c.line.begin(),
                                c.line.begin() + std::min<size_t>(40, c.line.size()));
        PropertyList list(nullptr);
        const int result = ParseCommandLine(c.line.c_str(), &list);
        EXPECT_EQ(result == kResultOk, c.accepted) << shown;
        if (c.accepted) {
            EXPECT_EQ(list.Count(), static_cast<LONG>(c.items.size())) << shown;
        }
        for (const Item& item : c.items) {
            std::optional<std::u16string> value;
            ASSERT_TRUE(Lookup(list, item.first, &value)) << shown;
            EXPECT_EQ(value, item.second) << shown;
        }
    }
}

TEST(CommandLineTest, ItemsBeyondTheListCapacityAreDropped) {
    std::u16string line;
    for (DWORD i = 0; i < kPropertyCapacity + 10; ++i) {
        if (i > 0) line += u'&';
        line += u"k" + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)) +
                std::u16string(1, static_cast<char16_t>(u'A' + i / 26)) + u"=v";
    }
    PropertyList list(nullptr);
    EXPECT_EQ(ParseCommandLine(line.c_str(), &list), kResultOk);
    EXPECT_EQ(list.Count(), static_cast<LONG>(kPropertyCapacity));
}

} // namespace
