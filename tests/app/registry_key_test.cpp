// RegistryKey over a private registry file: results without a key, typed round trips, and
// the bounds of text reads.
#include <gtest/gtest.h>

#include <string>

#include "base/RegistryKey.h"
#include "base/Results.h"
#include "tests/core/registry_sandbox.h"

namespace {

constexpr WCHAR kTestKey[] = u"Software\\Vr\\QuillbrookTest";

TEST(RegistryKeyTest, WithoutAnOpenKey) {
    RegistrySandbox box;
    RegistryKey key;
    EXPECT_EQ(key.Close(), kResultNo);
    DWORD number = 5;
    EXPECT_EQ(key.QueryNumber(u"x", &number), kResultFail);
    EXPECT_EQ(number, 5u);
    WCHAR text[4] = {u'a', u'b', 0, 0};
    EXPECT_EQ(key.QueryText(u"x", text, sizeof(text)), kResultFail);
    EXPECT_EQ(text[0], 0);
    EXPECT_EQ(key.SetNumber(u"x", 1), kResultFail);
    EXPECT_EQ(key.SetText(u"x", u"y"), kResultFail);
    EXPECT_EQ(key.DeleteValue(u"x"), kResultFail);
    EXPECT_EQ(key.Open(HKEY_CURRENT_USER, kTestKey), kResultFail); // open never creates
    EXPECT_FALSE(key.IsOpen());
}

TEST(RegistryKeyTest, ValuesRoundTripAcrossKeys) {
    RegistrySandbox box;
    {
        RegistryKey key;
        ASSERT_EQ(key.Create(HKEY_CURRENT_USER, kTestKey), kResultOk);
        EXPECT_EQ(key.SetText(u"Text", u"h\u00e9llo \"q\" \\ \u65e5\u672c"), kResultOk);
        EXPECT_EQ(key.SetNumber(u"Number", 0xDEADBEEF), kResultOk);
        const BYTE bytes[] = {0, 1, 2, 254, 255};
        EXPECT_EQ(key.SetBytes(u"Bytes", bytes, sizeof(bytes)), kResultOk);
        EXPECT_EQ(key.SetNumber(u"Gone", 1), kResultOk);
        EXPECT_EQ(key.DeleteValue(u"Gone"), kResultOk);
        EXPECT_EQ(key.Close(), kResultOk);
        EXPECT_EQ(key.Close(), kResultNo);
    }
    RegistryKey key;
    ASSERT_EQ(key.Open(HKEY_CURRENT_USER, kTestKey), kResultOk);
    WCHAR text[64];
    ASSERT_EQ(key.QueryText(u"Text", text, sizeof(text)), kResultOk);
    EXPECT_EQ(std::u16string(text), u"h\u00e9llo \"q\" \\ \u65e5\u672c");
    DWORD number = 0;
    ASSERT_EQ(key.QueryNumber(u"Number", &number), kResultOk);
    EXPECT_EQ(number, 0xDEADBEEFu);
    BYTE bytes[5] = {};
    ASSERT_EQ(key.QueryBytes(u"Bytes", bytes, sizeof(bytes)), kResultOk);
    EXPECT_EQ(bytes[3], 254);
    number = 7;
    EXPECT_EQ(key.QueryNumber(u"Gone", &number), kResultFail);
    EXPECT_EQ(number, 7u);
}

TEST(RegistryKeyTest, TextReadsStayInsideTheBuffer) {
    RegistrySandbox box;
    RegistryKey key;
    ASSERT_EQ(key.Create(HKEY_CURRENT_USER, kTestKey), kResultOk);
    ASSERT_EQ(key.SetText(u"Five", u"12345"), kResultOk);
    WCHAR buffer[8];
    // Room for five units and the terminator: 12 bytes.
    ASSERT_EQ(key.QueryText(u"Five", buffer, 12), kResultOk);
    EXPECT_EQ(std::u16string(buffer), u"12345");
    // One unit short: the read fails and leaves the empty text.
    EXPECT_EQ(key.QueryText(u"Five", buffer, 10), kResultFail);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(key.QueryText(u"Five", buffer, 1), kResultFail);
    // Data stored without a terminator is terminated on reading.
    const WCHAR raw[] = {u'a', u'b'};
    ASSERT_EQ(key.Set(u"Raw", 0, REG_SZ, reinterpret_cast<const BYTE*>(raw), sizeof(raw)),
              kResultOk);
    for (WCHAR& unit : buffer) unit = u'#';
    ASSERT_EQ(key.QueryText(u"Raw", buffer, sizeof(buffer)), kResultOk);
    EXPECT_EQ(std::u16string(buffer), u"ab");
}

} // namespace
