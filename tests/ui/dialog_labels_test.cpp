// Every dialog of the program, in both languages, on a screen of 80 x 24 cells: each label
// (static text, button, check box, read-only field, group box and window caption) is on the
// screen whole, where its control is. A terminal cell is wider than the average character
// the templates were measured in, so this holds only because the layout gives a label the
// cells it needs.
#include <gtest/gtest.h>

#include <commctrl.h>
#include <sslsock.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "download/Failure.h"
#include "download/MainDialog.h"
#include "tests/download/main_dialog_fixture.h"
#include "ui/About.h"
#include "ui/FileExists.h"
#include "ui/FolderBrowser.h"
#include "ui/ProxyDialog.h"

namespace {

constexpr int kScreenColumns = 80;
constexpr int kScreenRows = 24;
constexpr int kTextCapacity = 1024;

std::string Utf8(const std::u16string& text) {
    if (text.empty()) return {};
    char out[4 * kTextCapacity] = {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out,
                                sizeof(out), nullptr, nullptr);
    return std::string(out, n > 0 ? static_cast<size_t>(n) : 0);
}

std::string WithoutBlanks(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c != ' ' && c != '\n') out.push_back(c);
    }
    return out;
}

// The label as the control reads it: "&" marks the accelerator ("&&" is one "&").
std::u16string Stripped(const std::u16string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) ++i;
        out.push_back(text[i]);
    }
    return out;
}

// The screen's text in the cells (rows joined), blanks dropped: a wrapped label still reads
// whole, a cut one does not.
std::string ShownIn(const qb::render::Screen& screen, const RECT& cells) {
    qb::render::Screen part;
    part.columns = std::max(0, std::min(static_cast<int>(cells.right), screen.columns) -
                                   static_cast<int>(cells.left));
    part.rows = std::max(0, std::min(static_cast<int>(cells.bottom), screen.rows) -
                                static_cast<int>(cells.top));
    for (int row = 0; row < part.rows; ++row) {
        for (int column = 0; column < part.columns; ++column)
            part.cells.push_back(screen.At(cells.left + column, cells.top + row));
    }
    return WithoutBlanks(qb::test::GridText(part));
}

std::u16string TextOf(HWND window) {
    WCHAR text[kTextCapacity] = {};
    GetWindowTextW(window, text, kTextCapacity);
    return text;
}

// The label a control shows, or nothing for a control that shows data (fields, the tree,
// the progress bar) or an icon.
bool LabelOf(HWND control, std::u16string* label) {
    const LRESULT code = SendMessageW(control, WM_GETDLGCODE, 0, 0);
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    const std::u16string text = TextOf(control);
    if (code & (DLGC_BUTTON | DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON | DLGC_RADIOBUTTON)) {
        *label = Stripped(text);
    } else if (code & DLGC_STATIC) {
        const bool group = (style & BS_TYPEMASK) == BS_GROUPBOX;
        *label = (group || (style & SS_NOPREFIX)) ? text : Stripped(text);
    } else if ((code & DLGC_HASSETSEL) && (style & ES_READONLY)) {
        *label = text;
    } else {
        return false;
    }
    return !WithoutBlanks(Utf8(*label)).empty();
}

// Every label of the window (its caption and its controls' labels) that the screen does not
// show whole, described; empty when all are whole.
std::vector<std::string> CutLabels(HWND window) {
    std::vector<std::string> cut;
    const qb::render::Screen screen = qb::test::ScreenGrid();
    if ((GetWindowLongW(window, GWL_STYLE) & WS_CAPTION) == WS_CAPTION) {
        const RECT frame = qb::test::WindowCells(window);
        const RECT captionRow{frame.left, frame.top, frame.right, frame.top + 1};
        const std::string title = WithoutBlanks(Utf8(TextOf(window)));
        if (ShownIn(screen, captionRow).find(title) == std::string::npos)
            cut.push_back("caption \"" + title + "\": " + ShownIn(screen, captionRow));
    }
    for (HWND control = GetWindow(window, GW_CHILD); control != nullptr;
         control = GetWindow(control, GW_HWNDNEXT)) {
        std::u16string label;
        if (!IsWindowVisible(control) || !LabelOf(control, &label)) continue;
        const std::string expected = WithoutBlanks(Utf8(label));
        const std::string shown = ShownIn(screen, qb::test::WindowCells(control));
        if (shown.find(expected) == std::string::npos)
            cut.push_back("control " + std::to_string(GetDlgCtrlID(control)) + " \"" + expected +
                          "\": " + shown);
    }
    return cut;
}

struct Language {
    const char* locale;
    int mainTemplate;
    const char16_t* resumeLabel; // the pause button while paused
};
const Language kLanguages[] = {
    {"en_US.UTF-8", IDD_MAIN_EN, u"Resume"},
    {"ja_JP.UTF-8", IDD_MAIN_JA, u"再開"},
};

class DialogLabels : public qb::test::MainDialogTest,
                     public ::testing::WithParamInterface<Language> {
protected:
    void SetUp() override {
        MainDialogTest::SetUp();
        env_.set("LANG", GetParam().locale);
        qb::render::FeedResize(kScreenColumns, kScreenRows);
        dialog_ = CreateDialogIndirectParamW(nullptr,
                                             static_cast<LPCDLGTEMPLATEW>(qb::test::DialogTemplate(
                                                 nullptr, GetParam().mainTemplate)),
                                             nullptr, InteractiveDialogProc, 0);
        ASSERT_NE(dialog_, nullptr);
        qb::test::Pump();
    }
    void TearDown() override {
        MainDialogTest::TearDown();
        qb::render::FeedResize(kScreenColumns, kScreenRows + 1);
    }

    // Runs `open`, which shows one modal dialog or box; its labels are checked while it shows.
    void ExpectWholeInModal(const char* what, bool box, const std::function<void()>& open) {
        SCOPED_TRACE(what);
        std::vector<std::string> cut;
        std::string screen;
        auto look = [&](HWND window) {
            cut = CutLabels(window);
            screen = qb::test::ScreenText();
            SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        };
        if (box)
            qb::test::DriveMessageBox(look);
        else
            qb::test::DriveDialog(look);
        open();
        EXPECT_EQ(qb::test::PendingAnswers(), 0u) << "nothing was shown";
        EXPECT_TRUE(cut.empty()) << ::testing::PrintToString(cut) << "\n" << screen;
    }
};

TEST_P(DialogLabels, MainDialogInEveryState) {
    struct State {
        const char* what;
        ButtonState buttons;
        bool paused;
    } states[] = {
        {"idle", ButtonState::kIdle, false},
        {"receiving", ButtonState::kReceiving, false},
        {"paused", ButtonState::kReceiving, true},
    };
    for (const State& state : states) {
        SCOPED_TRACE(state.what);
        SetButtons(dialog_, state.buttons);
        if (state.paused) SetDlgItemTextW(dialog_, IDC_PAUSE, GetParam().resumeLabel);
        qb::test::Pump();
        const std::vector<std::string> cut = CutLabels(dialog_);
        EXPECT_TRUE(cut.empty()) << ::testing::PrintToString(cut) << "\n" << qb::test::ScreenText();
    }
}

TEST_P(DialogLabels, PopupMenu) {
    std::string shown;
    qb::test::DriveMenu([&](HWND menu) {
        shown = qb::test::WindowText(menu);
        qb::test::PressKey(qb::render::Key::kEscape);
    });
    SendMessageW(dialog_, WM_COMMAND, IDC_MENU_BUTTON, 0);
    HMENU menu =
        LoadMenuW(nullptr, MAKEINTRESOURCEW(GetParam().mainTemplate == IDD_MAIN_JA ? IDM_POPUP_JA
                                                                                   : IDM_POPUP_EN));
    HMENU popup = GetSubMenu(menu, 0);
    for (int i = 0; i < GetMenuItemCount(popup); ++i) {
        WCHAR text[kTextCapacity] = {};
        if (GetMenuStringW(popup, static_cast<UINT>(i), text, kTextCapacity, MF_BYPOSITION) <= 0)
            continue;
        EXPECT_NE(shown.find(Utf8(Stripped(text))), std::string::npos) << shown;
    }
    DestroyMenu(menu);
}

TEST_P(DialogLabels, SmallDialogs) {
    ExpectWholeInModal("about", false, [&] { ShowAboutBox(dialog_); });
    ExpectWholeInModal("proxy", false, [&] { ShowProxyDialog(nullptr, dialog_); });
    ExpectWholeInModal("file exists", false, [] { AskFileExists(); });
    ExpectWholeInModal("credentials", false, [] {
        WCHAR user[kCredentialEntryCapacity] = {};
        WCHAR password[kCredentialEntryCapacity] = {};
        AskForCredentials(u"\"Restricted area\"", u"https://files.example:8443", FALSE, user,
                          password, 0);
    });
    ExpectWholeInModal("folder browser", false, [&] {
        WCHAR path[MAX_PATH] = u"\\files";
        OpenFolderBrowser(nullptr, dialog_, path, MAX_PATH);
    });
}

TEST_P(DialogLabels, MessageBoxes) {
    const Failure failures[] = {
        Failure::kConnect,       Failure::kNoHttps,       Failure::kNoFileName,
        Failure::kEmptyFileName, Failure::kResumeRefused, Failure::kServerFileChanged,
        Failure::kNoMemory,      Failure::kNetwork,       Failure::kStorage,
        Failure::kChecksum,
    };
    for (Failure failure : failures) {
        ExpectWholeInModal("failure", true, [&] { ReportFailure(dialog_, nullptr, failure); });
    }
    ExpectWholeInModal("connect, status", true, [&] {
        ReportConnectFailure(dialog_, nullptr, ConnectReason::kStatus, u"404 Not Found");
    });
    ExpectWholeInModal("connect, host", true, [&] {
        ReportConnectFailure(dialog_, nullptr, ConnectReason::kUnknownHost,
                             u"a-rather-long-host-name.example.invalid");
    });
    ExpectWholeInModal("certificate", true, [&] {
        ReportCertificateFailure(dialog_, nullptr, u"files.example", SSL_CERT_FLAG_EXPIRED);
    });
    ExpectWholeInModal("target", true, [&] {
        ReportTargetFailure(dialog_, nullptr, u"\\files\\a folder that is gone\\big.bin");
    });
}

INSTANTIATE_TEST_SUITE_P(BothLanguages, DialogLabels, ::testing::ValuesIn(kLanguages),
                         [](const ::testing::TestParamInfo<Language>& info) {
                             return info.param.mainTemplate == IDD_MAIN_JA ? "Japanese" : "English";
                         });

} // namespace
