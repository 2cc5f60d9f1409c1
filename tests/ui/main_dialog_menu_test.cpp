// The auxiliary dialogs as the main dialog opens them: the pop-up menu's Proxy and About, the
// browse button's folder browser, and a proxy configured from the menu carrying the next
// download through tinyproxy until it is switched off again.
#include <gtest/gtest.h>

#include <commctrl.h>

#include <functional>
#include <string>

#include "tests/download/main_dialog_fixture.h"
#include "tests/support/scripted_server.h"
#include "tests/support/tinyproxy_server.h"

namespace {

using qb::test::ModalKind;

class MainDialogMenu : public qb::test::MainDialogTest {
protected:
    void SetUp() override {
        MainDialogTest::SetUp();
        Open(InteractiveDialogProc);
    }
    // The menu posts the chosen command to the dialog, which handles it at the next pump.
    void PressMenuButton() {
        SendMessageW(dialog_, WM_COMMAND, IDC_MENU_BUTTON, 0);
        qb::test::PumpUntil([] { return qb::test::PendingAnswers() == 0; }, 5000);
        qb::test::Pump();
    }

    // The proxy dialog opened from the menu: once its opening has run (a timer of its own
    // after the posted check-box command), the fields are set as a person types them and OK
    // is pressed.
    void ConfigureProxyFromMenu(bool enable, const std::u16string& server,
                                const std::u16string& port) {
        pendingSteps = [=](HWND d) {
            CheckDlgButton(d, IDC_PROXY_ENABLE, enable ? BST_CHECKED : BST_UNCHECKED);
            Click(d, IDC_PROXY_ENABLE);
            SetDlgItemTextW(d, IDC_PROXY_SERVER, server.c_str());
            SetDlgItemTextW(d, IDC_PROXY_PORT, port.c_str());
            Click(d, IDOK);
        };
        qb::test::AnswerMenu(IDM_PROXY);
        qb::test::DriveDialog([](HWND d) { SetTimer(d, kStepsTimer, 1, RunPendingSteps); },
                              qb::test::DialogTemplate(nullptr, IDD_PROXY_EN));
        PressMenuButton();
        ASSERT_EQ(qb::test::PendingAnswers(), 0u);
        const auto history = qb::test::ModalHistory();
        ASSERT_FALSE(history.empty());
        EXPECT_EQ(history.back().result, 1) << "the proxy dialog did not end with OK";
    }
    static void Click(HWND dialog, int id) {
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
    }
    static constexpr UINT_PTR kStepsTimer = 7;
    static inline std::function<void(HWND)> pendingSteps;
    static void CALLBACK RunPendingSteps(HWND dialog, UINT, UINT_PTR id, DWORD) {
        KillTimer(dialog, id);
        auto steps = std::move(pendingSteps);
        pendingSteps = nullptr;
        if (steps) steps(dialog);
    }
};

// Each menu choice opens its dialog owned by the main dialog, in the language of the moment;
// the grayed Update and a dismissed menu open nothing.
TEST_F(MainDialogMenu, MenuCommandsOpenTheirDialogs) {
    struct Case {
        const char* what;
        const char* lang;
        UINT command;
        int expectedTemplate; // 0: no dialog
    } cases[] = {
        {"Proxy", "en_US.UTF-8", IDM_PROXY, IDD_PROXY_EN},
        {"About", "en_US.UTF-8", IDM_ABOUT, IDD_ABOUT},
        {"Japanese proxy", "ja_JP.UTF-8", IDM_PROXY, IDD_PROXY_JA},
        {"Update (grayed)", "en_US.UTF-8", IDM_UPDATE, 0},
        {"dismissed", "en_US.UTF-8", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        qb::test::Reset();
        qb::test::SetStrictModals(true);
        env_.set("LANG", c.lang);
        const void* expected = c.expectedTemplate != 0
                                   ? qb::test::DialogTemplate(nullptr, c.expectedTemplate)
                                   : nullptr;
        qb::test::AnswerMenu(c.command);
        if (expected != nullptr) qb::test::AnswerDialog(IDCANCEL, expected);
        PressMenuButton();
        EXPECT_EQ(qb::test::PendingAnswers(), 0u);
        const auto history = qb::test::ModalHistory();
        ASSERT_EQ(history.size(), expected != nullptr ? 2u : 1u);
        EXPECT_EQ(history[0].kind, ModalKind::kMenu);
        EXPECT_EQ(history[0].owner, dialog_);
        if (expected != nullptr) {
            EXPECT_EQ(history[1].kind, ModalKind::kDialog);
            EXPECT_EQ(history[1].dialogTemplate, expected);
            EXPECT_EQ(history[1].owner, dialog_);
        }
    }
}

// The browse button opens the folder browser on the path field's folder; OK writes the
// chosen folder into the field, Cancel leaves it.
TEST_F(MainDialogMenu, BrowseButtonFillsThePathField) {
    ASSERT_TRUE(qb::test::makeDirectories(dir_.file("root/files/inner")));
    struct Case {
        const char* what;
        int answer;
        std::u16string field; // afterwards
    } cases[] = {
        {"OK on the folder below", IDOK, u"\\files\\inner"},
        {"Cancel", IDCANCEL, u"\\files"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        qb::test::Reset();
        qb::test::SetStrictModals(true);
        SetDlgItemTextW(dialog_, IDC_PATH, u"\\files");
        std::u16string shownAtOpening;
        const int answer = c.answer;
        qb::test::DriveDialog(
            [&shownAtOpening, answer](HWND w) {
                shownAtOpening = qb::test::FieldText(w, IDC_BROWSER_PATH);
                HWND tree = GetDlgItem(w, IDC_BROWSER_TREE);
                HTREEITEM files = TreeView_GetSelection(tree);
                TreeView_Expand(tree, files, TVE_EXPAND);
                TreeView_SelectItem(tree, TreeView_GetChild(tree, files));
                SendMessageW(w, WM_COMMAND, answer, 0);
            },
            qb::test::DialogTemplate(nullptr, IDD_FOLDER_BROWSER));
        SendMessageW(dialog_, WM_COMMAND, IDC_BROWSE, 0);
        EXPECT_EQ(qb::test::PendingAnswers(), 0u);
        EXPECT_EQ(shownAtOpening, u"\\files");
        EXPECT_EQ(qb::test::FieldText(dialog_, IDC_PATH), c.field);
    }
}

// Automatic mode with the window hidden has no browse: nothing opens.
TEST_F(MainDialogMenu, HiddenAutomaticWindowDoesNotBrowse) {
    DestroyWindow(dialog_);
    TakeQuitCode();
    gShowWindow = FALSE;
    gUrl.AssignWide(u"http://127.0.0.1:1/never.bin");
    Open(AutomaticDialogProc);
    qb::test::AnswerDialog(IDOK, qb::test::DialogTemplate(nullptr, IDD_FOLDER_BROWSER));
    SendMessageW(dialog_, WM_COMMAND, IDC_BROWSE, 0);
    EXPECT_EQ(qb::test::PendingAnswers(), 1u);
    EXPECT_TRUE(qb::test::ModalHistory().empty());
    DestroyWindow(dialog_); // before its posted Start runs
    TakeQuitCode();
    gShowWindow = kDefaultShowWindow;
    gUrl.AssignWide(u"");
}

// The proxy set in the dialog opened from the menu carries the next download: tinyproxy
// logs the absolute URL it was asked for and the origin sees tinyproxy's Via line. After the
// box is unchecked the next download goes to the origin directly.
TEST_F(MainDialogMenu, ProxyFromTheMenuCarriesTheDownloadUntilSwitchedOff) {
    if (!qb::test::TinyproxyServer::available()) GTEST_SKIP() << "tinyproxy is not installed";
    qb::test::TinyproxyServer proxy;
    ASSERT_TRUE(proxy.start()) << proxy.error();
    qb::test::ScriptedServer origin;
    const std::string viaProxy = qb::test::PatternBody(6000, 'A');
    const std::string direct = qb::test::PatternBody(4000, 'a');
    origin.addReply(qb::test::okReply(viaProxy));
    origin.addReply(qb::test::okReply(direct));
    ASSERT_TRUE(origin.start());

    ConfigureProxyFromMenu(true, u"127.0.0.1", qb::test::Wide(std::to_string(proxy.port())));
    EXPECT_EQ(gProxyEnabled, 1u);
    EXPECT_EQ(std::u16string(gProxyServer.GetWide()), u"127.0.0.1");
    EXPECT_EQ(gProxyPort, proxy.port());

    qb::test::Reset();
    qb::test::SetStrictModals(true);
    Fill(origin.port(), "/through/proxied.bin", "\\files");
    qb::test::AnswerMessageBox(IDOK);
    Start();
    ASSERT_TRUE(WaitForModals(1, 20000));
    EXPECT_EQ(qb::test::ModalHistory()[0].title, u"Notification");
    EXPECT_EQ(File("proxied.bin").value_or(""), viaProxy);
    const std::string absolute = "GET " + Url(origin.port(), "/through/proxied.bin");
    EXPECT_TRUE(
        qb::test::PumpUntil([&] { return proxy.log().find(absolute) != std::string::npos; }, 5000))
        << proxy.log();
    ASSERT_TRUE(origin.waitForRequests(1));
    EXPECT_NE(origin.request(0).find("\nVia: "), std::string::npos) << origin.request(0);

    qb::test::Reset();
    qb::test::SetStrictModals(true);
    ConfigureProxyFromMenu(false, u"127.0.0.1", qb::test::Wide(std::to_string(proxy.port())));
    EXPECT_EQ(gProxyEnabled, 0u);

    qb::test::Reset();
    qb::test::SetStrictModals(true);
    Fill(origin.port(), "/straight/direct.bin", "\\files");
    qb::test::AnswerMessageBox(IDOK);
    Start();
    ASSERT_TRUE(WaitForModals(1, 20000));
    EXPECT_EQ(File("direct.bin").value_or(""), direct);
    ASSERT_TRUE(origin.waitForRequests(2));
    EXPECT_EQ(origin.request(1).rfind("GET /straight/direct.bin HTTP/1.0\r\n", 0), 0u)
        << origin.request(1);
    EXPECT_EQ(origin.request(1).find("Via:"), std::string::npos) << origin.request(1);
    EXPECT_EQ(proxy.log().find("direct.bin"), std::string::npos) << proxy.log();
}

} // namespace
