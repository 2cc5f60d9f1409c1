// The settings key at start-up: the program's path is recorded, the proxy settings are
// loaded with their defaults for whatever is missing.
#include <gtest/gtest.h>

#include <string>

#include "app/AppState.h"
#include "app/Settings.h"
#include "base/RegistryKey.h"
#include "base/Results.h"
#include "registry_sandbox.h"

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
