// The proxy dialog with a private registry: what it shows at opening, how the check box
// drives the fields, what OK stores in the key and the run-time settings, that Cancel
// stores nothing, and what the import button takes from the environment.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <windows.h>

#include "base/RegistryKey.h"
#include "core/AppState.h"
#include "qb/testhook.h"
#include "resources/resource.h"
#include "tests/platform/scoped_env.h"
#include "tests/support/temp_dir.h"
#include "ui/ProxyDialog.h"

namespace {

constexpr char16_t kKey[] = u"Software\\Vr\\Quillbrook";
constexpr const char* kProxyVariables[] = {"http_proxy", "https_proxy", "HTTPS_PROXY",
                                           "all_proxy",  "ALL_PROXY",   "HTTP_PROXY"};

std::u16string Text(HWND dialog, int id) {
    char16_t text[1100] = {};
    GetDlgItemTextW(dialog, id, text, 1100);
    return text;
}

bool Enabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

// The dialog's state as a person sees it once the posted check-box command has run.
struct Shown {
    bool checked = false;
    std::u16string server, port, user, password;
    bool serverEnabled = false, portEnabled = false, importEnabled = true;
    bool userEnabled = false, passwordEnabled = false;
    bool focusOnCheckBox = false;
};

Shown Look(HWND dialog) {
    Shown s;
    s.checked = IsDlgButtonChecked(dialog, IDC_PROXY_ENABLE) == BST_CHECKED;
    s.server = Text(dialog, IDC_PROXY_SERVER);
    s.port = Text(dialog, IDC_PROXY_PORT);
    s.serverEnabled = Enabled(dialog, IDC_PROXY_SERVER);
    s.portEnabled = Enabled(dialog, IDC_PROXY_PORT);
    s.importEnabled = Enabled(dialog, IDC_PROXY_IMPORT);
    s.user = Text(dialog, IDC_PROXY_USER);
    s.password = Text(dialog, IDC_PROXY_PASSWORD);
    s.userEnabled = Enabled(dialog, IDC_PROXY_USER);
    s.passwordEnabled = Enabled(dialog, IDC_PROXY_PASSWORD);
    s.focusOnCheckBox = GetFocus() == GetDlgItem(dialog, IDC_PROXY_ENABLE);
    return s;
}

void Click(HWND dialog, int id) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

class ProxyDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.valid());
        env_.set("QUILLBROOK_REGISTRY", dir_.file("registry.reg").c_str());
        env_.set("QUILLBROOK_ROOT", dir_.path().c_str());
        env_.clearLocale();
        env_.set("LANG", "en_US.UTF-8");
        for (const char* name : kProxyVariables) env_.set(name, nullptr);
        qb::test::Reset();
        qb::test::SetStrictModals(true);
        gProxyEnabled = 0;
        gProxyServer.AssignWide(u"before");
        gProxyPort = 1;
    }
    void TearDown() override { qb::test::Reset(); }

    // Runs the dialog: `steps` see it once the modal loop has handled what the opening
    // posted (the check box's command), from a timer of their own; then `answer` ends it.
    INT_PTR Run(const std::function<void(HWND)>& steps, int answer) {
        pendingSteps = [=](HWND dialog) {
            if (steps) steps(dialog);
            Click(dialog, answer);
        };
        qb::test::DriveDialog(
            [](HWND dialog) { SetTimer(dialog, kStepsTimer, 1, RunPendingSteps); },
            qb::test::DialogTemplate(nullptr, IDD_PROXY_EN));
        return ShowProxyDialog(nullptr, nullptr);
    }

    static constexpr UINT_PTR kStepsTimer = 7;
    static inline std::function<void(HWND)> pendingSteps;
    static void CALLBACK RunPendingSteps(HWND dialog, UINT, UINT_PTR id, DWORD) {
        KillTimer(dialog, id);
        auto steps = std::move(pendingSteps);
        pendingSteps = nullptr;
        if (steps) steps(dialog);
    }

    qb::test::TempDir dir_{"qb-proxy"};
    ScopedEnv env_;
};

TEST_F(ProxyDialogTest, FirstUseShowsDefaultsWithFieldsDisabled) {
    Shown shown;
    EXPECT_EQ(Run([&](HWND d) { shown = Look(d); }, IDCANCEL), 0);
    EXPECT_FALSE(shown.checked);
    EXPECT_EQ(shown.server, u"");
    EXPECT_EQ(shown.port, u"8080");
    EXPECT_FALSE(shown.serverEnabled);
    EXPECT_FALSE(shown.portEnabled);
    EXPECT_FALSE(shown.importEnabled);
    EXPECT_TRUE(shown.focusOnCheckBox);
    RegistryKey key;
    EXPECT_NE(key.Open(HKEY_CURRENT_USER, kKey), 1) << "cancel created the key";
}

TEST_F(ProxyDialogTest, StoredSettingsShownAndCheckBoxDrivesFields) {
    {
        RegistryKey key;
        ASSERT_EQ(key.Create(HKEY_CURRENT_USER, kKey), 1);
        key.SetNumber(u"EnableProxy", 1);
        key.SetText(u"ProxyServer", u"proxy.local");
        key.SetNumber(u"ProxyPort", 3128);
        key.SetText(u"ProxyUser", u"alice");
        key.SetText(u"ProxyPassword", u"pw");
    }
    Shown atOpening, unchecked, checked;
    Run(
        [&](HWND d) {
            atOpening = Look(d);
            CheckDlgButton(d, IDC_PROXY_ENABLE, BST_UNCHECKED);
            Click(d, IDC_PROXY_ENABLE);
            unchecked = Look(d);
            CheckDlgButton(d, IDC_PROXY_ENABLE, BST_CHECKED);
            Click(d, IDC_PROXY_ENABLE);
            checked = Look(d);
        },
        IDCANCEL);
    EXPECT_TRUE(atOpening.checked);
    EXPECT_TRUE(atOpening.serverEnabled && atOpening.portEnabled);
    EXPECT_TRUE(atOpening.userEnabled && atOpening.passwordEnabled);
    EXPECT_FALSE(unchecked.serverEnabled || unchecked.portEnabled);
    EXPECT_FALSE(unchecked.userEnabled || unchecked.passwordEnabled);
    EXPECT_TRUE(checked.serverEnabled && checked.portEnabled);
    EXPECT_TRUE(checked.userEnabled && checked.passwordEnabled);
    for (const Shown& s : {atOpening, unchecked, checked}) {
        EXPECT_EQ(s.server, u"proxy.local");
        EXPECT_EQ(s.port, u"3128");
        EXPECT_EQ(s.user, u"alice");
        EXPECT_EQ(s.password, u"pw");
        EXPECT_FALSE(s.importEnabled);
    }
}

// OK stores what the fields hold, also with the proxy off; an empty port is 0; the run-time
// port keeps the low 16 bits.
TEST_F(ProxyDialogTest, OkStoresFieldsInKeyAndRunTimeSettings) {
    struct Case {
        bool check;
        std::u16string server, port;
        DWORD storedPort;
        WORD runtimePort;
        std::u16string user = u"", password = u"";
    } cases[] = {
        {true, u"127.0.0.1", u"3128", 3128, 3128, u"alice", u"s3cret"},
        {false, u"kept.when.off", u"8081", 8081, 8081, u"bob", u""},
        {true, u"h", u"", 0, 0},
        {true, u"h", u"65537", 65537, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Run(
                      [&](HWND d) {
                          CheckDlgButton(d, IDC_PROXY_ENABLE,
                                         c.check ? BST_CHECKED : BST_UNCHECKED);
                          Click(d, IDC_PROXY_ENABLE);
                          SetDlgItemTextW(d, IDC_PROXY_SERVER, c.server.c_str());
                          SetDlgItemTextW(d, IDC_PROXY_PORT, c.port.c_str());
                          SetDlgItemTextW(d, IDC_PROXY_USER, c.user.c_str());
                          SetDlgItemTextW(d, IDC_PROXY_PASSWORD, c.password.c_str());
                      },
                      IDOK),
                  1);
        RegistryKey key;
        ASSERT_EQ(key.Open(HKEY_CURRENT_USER, kKey), 1);
        DWORD enabled = 99, port = 99;
        char16_t server[1024] = {};
        EXPECT_EQ(key.QueryNumber(u"EnableProxy", &enabled), 1);
        EXPECT_EQ(key.QueryText(u"ProxyServer", server, sizeof(server)), 1);
        EXPECT_EQ(key.QueryNumber(u"ProxyPort", &port), 1);
        EXPECT_EQ(enabled, c.check ? 1u : 0u);
        EXPECT_EQ(std::u16string(server), c.server);
        EXPECT_EQ(port, c.storedPort);
        EXPECT_EQ(gProxyEnabled, c.check ? 1u : 0u);
        EXPECT_EQ(std::u16string(gProxyServer.GetWide()), c.server);
        EXPECT_EQ(gProxyPort, c.runtimePort);
        char16_t user[256] = {}, password[256] = {};
        EXPECT_EQ(key.QueryText(u"ProxyUser", user, sizeof(user)), 1);
        EXPECT_EQ(key.QueryText(u"ProxyPassword", password, sizeof(password)), 1);
        EXPECT_EQ(std::u16string(user), c.user);
        EXPECT_EQ(std::u16string(password), c.password);
        EXPECT_EQ(std::u16string(gProxyUser.GetWide()), c.user);
        EXPECT_EQ(std::u16string(gProxyPassword.GetWide()), c.password);
    }
}

// The import button is live only when the environment names a usable proxy; it fills the
// four fields from it (http's proxy before https's), and OK stores them as typed ones.
TEST_F(ProxyDialogTest, ImportFillsTheFieldsFromTheEnvironment) {
    struct Case {
        const char* what;
        const char* variable;
        const char* value;
        bool importEnabled;
        std::u16string server, port, user, password; // after the click
    } cases[] = {
        {"nothing set", nullptr, nullptr, false, u"", u"8080", u"", u""},
        {"HTTP_PROXY is not read", "HTTP_PROXY", "h:1", false, u"", u"8080", u"", u""},
        {"not an http proxy", "http_proxy", "socks5://s:1", false, u"", u"8080", u"", u""},
        {"http_proxy", "http_proxy", "http://alice:pw@proxy.lan:3128/", true, u"proxy.lan", u"3128",
         u"alice", u"pw"},
        {"https_proxy without a port", "https_proxy", "secure.lan", true, u"secure.lan", u"1080",
         u"", u""},
        {"ALL_PROXY", "ALL_PROXY", "[::1]:8888", true, u"::1", u"8888", u"", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScopedEnv env;
        if (c.variable != nullptr) env.set(c.variable, c.value);
        Shown before, after;
        EXPECT_EQ(Run(
                      [&](HWND d) {
                          before = Look(d);
                          Click(d, IDC_PROXY_IMPORT);
                          after = Look(d);
                      },
                      IDOK),
                  1);
        EXPECT_EQ(before.importEnabled, c.importEnabled);
        EXPECT_EQ(after.server, c.server);
        EXPECT_EQ(after.port, c.port);
        EXPECT_EQ(after.user, c.user);
        EXPECT_EQ(after.password, c.password);
        EXPECT_EQ(std::u16string(gProxyServer.GetWide()), c.server);
        EXPECT_EQ(std::u16string(gProxyUser.GetWide()), c.user);
    }
}

TEST_F(ProxyDialogTest, CancelAfterEditingChangesNothing) {
    Run(
        [&](HWND d) {
            CheckDlgButton(d, IDC_PROXY_ENABLE, BST_CHECKED);
            Click(d, IDC_PROXY_ENABLE);
            SetDlgItemTextW(d, IDC_PROXY_SERVER, u"edited");
            SetDlgItemTextW(d, IDC_PROXY_PORT, u"1234");
        },
        IDCANCEL);
    EXPECT_FALSE(dir_.read("registry.reg").has_value() &&
                 dir_.read("registry.reg")->find("Quillbrook") != std::string::npos);
    EXPECT_EQ(gProxyEnabled, 0u);
    EXPECT_EQ(std::u16string(gProxyServer.GetWide()), u"before");
    EXPECT_EQ(gProxyPort, 1);
}

} // namespace
