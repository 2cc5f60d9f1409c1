// The settings key at start-up: the program's path is recorded, the proxy settings are
// loaded with their defaults for whatever is missing.
#include <gtest/gtest.h>

#include <string>

#include "base/RegistryKey.h"
#include "base/Results.h"
#include "core/AppState.h"
#include "core/Settings.h"
#include "tests/core/registry_sandbox.h"

namespace {

struct Proxy {
    DWORD enabled;
    std::u16string server;
    WORD port;
};

Proxy Load() {
    // Values the load must replace.
    gProxyEnabled = 99;
    gProxyServer.AssignWide(u"stale");
    gProxyPort = 1;
    LoadProxySettings();
    return {gProxyEnabled, gProxyServer.GetWide(), gProxyPort};
}

void ExpectProxy(const Proxy& actual, DWORD enabled, const std::u16string& server, WORD port) {
    EXPECT_EQ(actual.enabled, enabled);
    EXPECT_EQ(actual.server, server);
    EXPECT_EQ(actual.port, port);
}

TEST(SettingsTest, FirstStartCreatesTheKeyWithFilePathOnly) {
    RegistrySandbox box;
    ASSERT_TRUE(box.valid());
    ExpectProxy(Load(), 0, u"", 8080); // no file at all
    EXPECT_FALSE(box.contents().has_value());

    RecordProgramPath();
    const std::string file = box.contents().value_or("");
    EXPECT_NE(file.find("[HKEY_CURRENT_USER\\Software\\Vr\\Quillbrook]"), std::string::npos)
        << file;
    EXPECT_NE(file.find("\"FilePath\"="), std::string::npos) << file;
    EXPECT_EQ(file.find("Proxy"), std::string::npos) << file;

    RegistryKey key;
    ASSERT_EQ(key.Open(HKEY_CURRENT_USER, kSettingsKey), kResultOk);
    WCHAR path[kProgramPathCapacity];
    ASSERT_EQ(key.QueryText(kValueFilePath, path, sizeof(path)), kResultOk);
    WCHAR expected[kProgramPathCapacity];
    ASSERT_GT(GetModuleFileNameW(nullptr, expected, kProgramPathCapacity), 0u);
    EXPECT_EQ(std::u16string(path), std::u16string(expected));

    ExpectProxy(Load(), 0, u"", 8080); // the key exists now, still without proxy values
}

TEST(SettingsTest, ProxyValuesAreRead) {
    RegistrySandbox box;
    ASSERT_TRUE(box.writeSettings("\"EnableProxy\"=dword:00000001\r\n"
                                  "\"ProxyServer\"=\"proxy.example\"\r\n"
                                  "\"ProxyPort\"=dword:00000c38\r\n"
                                  "\"ProxyUser\"=\"alice\"\r\n"
                                  "\"ProxyPassword\"=\"s3cret\"\r\n"));
    ExpectProxy(Load(), 1, u"proxy.example", 3128);
    EXPECT_EQ(std::u16string(gProxyUser.GetWide()), u"alice");
    EXPECT_EQ(std::u16string(gProxyPassword.GetWide()), u"s3cret");
    // A user name too long to read whole gives the proxy no user, not a cut one.
    ASSERT_TRUE(box.writeSettings("\"ProxyUser\"=\"" + std::string(256, 'u') + "\"\r\n"));
    Load();
    EXPECT_EQ(std::u16string(gProxyUser.GetWide()), u"");
    EXPECT_EQ(std::u16string(gProxyPassword.GetWide()), u"");
}

TEST(SettingsTest, PortKeepsItsLowSixteenBits) {
    RegistrySandbox box;
    ASSERT_TRUE(box.writeSettings("\"ProxyPort\"=dword:00011170\r\n")); // 70000
    ExpectProxy(Load(), 0, u"", 4464);
}

TEST(SettingsTest, EachMissingValueKeepsItsDefault) {
    RegistrySandbox box;
    ASSERT_TRUE(box.writeSettings("\"ProxyServer\"=\"p\"\r\n"));
    ExpectProxy(Load(), 0, u"p", 8080);
    ASSERT_TRUE(box.writeSettings("\"EnableProxy\"=dword:00000002\r\n"));
    ExpectProxy(Load(), 2, u"", 8080);
}

TEST(SettingsTest, ServerNameBeyondTheReadKeepsTheEmptyDefault) {
    RegistrySandbox box;
    const std::string longest(511, 's'); // 511 characters and the terminator: 1024 bytes
    ASSERT_TRUE(box.writeSettings("\"ProxyServer\"=\"" + longest + "\"\r\n"));
    ExpectProxy(Load(), 0, std::u16string(longest.begin(), longest.end()), 8080);
    ASSERT_TRUE(box.writeSettings("\"ProxyServer\"=\"" + longest + "t\"\r\n"));
    ExpectProxy(Load(), 0, u"", 8080);
}

// What the proxy dialog writes is what start-up and the dialog read back, in the file's
// value lines as users' settings files have them; a password without a user ID is kept in
// the key (the dialog shows it) but not given to the proxy.
TEST(SettingsTest, WrittenProxySettingsReadBackAsStoredLines) {
    RegistrySandbox box;
    const struct {
        DWORD enabled;
        const char16_t* server;
        DWORD port;
        const char16_t* user;
        const char16_t* password;
        const char* lines;
        const char16_t* usedPassword;
    } cases[] = {
        {1, u"proxy.example", 3128, u"alice", u"s3cret",
         "\"EnableProxy\"=dword:00000001\n\"ProxyServer\"=\"proxy.example\"\n"
         "\"ProxyPort\"=dword:00000c38\n\"ProxyUser\"=\"alice\"\n"
         "\"ProxyPassword\"=\"s3cret\"\n",
         u"s3cret"},
        {0, u"", 70000, u"", u"orphan",
         "\"EnableProxy\"=dword:00000000\n\"ProxyServer\"=\"\"\n"
         "\"ProxyPort\"=dword:00011170\n\"ProxyUser\"=\"\"\n"
         "\"ProxyPassword\"=\"orphan\"\n",
         u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        ASSERT_TRUE(box.writeSettings(""));
        ProxySettings written;
        written.enabled = c.enabled;
        std::char_traits<char16_t>::copy(written.server, c.server,
                                         std::char_traits<char16_t>::length(c.server) + 1);
        written.port = c.port;
        std::char_traits<char16_t>::copy(written.user, c.user,
                                         std::char_traits<char16_t>::length(c.user) + 1);
        std::char_traits<char16_t>::copy(written.password, c.password,
                                         std::char_traits<char16_t>::length(c.password) + 1);
        WriteProxySettings(written);
        std::string file = box.contents().value_or("");
        std::erase(file, '\r'); // the line ends are the registry file's own business
        EXPECT_NE(file.find(c.lines), std::string::npos) << file;

        ProxySettings read;
        ReadProxySettings(&read);
        EXPECT_EQ(read.enabled, c.enabled);
        EXPECT_EQ(std::u16string(read.server), c.server);
        EXPECT_EQ(read.port, c.port);
        EXPECT_EQ(std::u16string(read.user), c.user);
        EXPECT_EQ(std::u16string(read.password), c.password);

        ExpectProxy(Load(), c.enabled, c.server, static_cast<WORD>(c.port & 0xFFFF));
        EXPECT_EQ(std::u16string(gProxyUser.GetWide()), c.user);
        EXPECT_EQ(std::u16string(gProxyPassword.GetWide()), c.usedPassword);
    }
}

// Interactive mode takes the timeout and the tries from the key; automatic mode keeps its
// run parameters.
TEST(SettingsTest, TransferValuesAreReadInInteractiveModeOnly) {
    RegistrySandbox box;
    const struct {
        const char* values;
        BOOL automatic;
        DWORD timeout;
        LONG retry;
    } cases[] = {
        {"", FALSE, kDefaultTimeoutSeconds, kDefaultRetry},
        {"\"Timeout\"=dword:00000000\r\n\"Retry\"=dword:00000003\r\n", FALSE, 0, 3},
        {"\"Timeout\"=dword:ffffffff\r\n\"Retry\"=dword:ffffffff\r\n", FALSE,
         kLargestTimeoutSeconds, kLargestRetry},
        {"\"Timeout\"=dword:00000005\r\n\"Retry\"=dword:00000003\r\n", TRUE, kDefaultTimeoutSeconds,
         kDefaultRetry},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.values);
        ASSERT_TRUE(box.writeSettings(c.values));
        gAutomaticMode = c.automatic;
        gTimeoutSeconds = kDefaultTimeoutSeconds;
        gRetry = kDefaultRetry;
        LoadTransferSettings();
        EXPECT_EQ(gTimeoutSeconds, c.timeout);
        EXPECT_EQ(gRetry, c.retry);
    }
    gAutomaticMode = FALSE;
}

} // namespace
