// The dialog manager: creation from template bytes, the messages a dialog procedure gets,
// the focus rule, keyboard navigation, modal loops and what the dialog looks like.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <commctrl.h>
#include <windows.h>

#include "qb/testhook.h"
#include "tests/platform/user_test_support.h"

using namespace qb::usertest;
using qb::render::Key;

namespace {

constexpr int kUrlEdit = 1001;
constexpr int kPathEdit = 1014;
constexpr int kStartButton = 1005;
constexpr int kPauseButton = 1006;
constexpr int kCheck = 1027;
constexpr int kResumeButton = 1015;
constexpr int kLabel = 1009;

struct Probe {
    std::vector<Recorded> log;
    INT_PTR initResult = TRUE;
    int focusInInit = 0;                  // a control to focus in WM_INITDIALOG
    bool showInInit = false;              // shown (and so focused) before its field is filled
    const char16_t* textInInit = nullptr; // the text of focusInInit, set in WM_INITDIALOG
    bool endOnCommand = true;
};
Probe* gProbe = nullptr;

bool Interesting(UINT msg) {
    return msg == WM_SETFONT || msg == WM_INITDIALOG || msg == WM_COMMAND || msg == WM_CLOSE ||
           msg == WM_DESTROY || msg == WM_NCDESTROY;
}

INT_PTR CALLBACK ProbeProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (gProbe == nullptr) return FALSE;
    // Focus notifications of the fields (EN_SETFOCUS, CBN_KILLFOCUS ...) are left out.
    bool fieldNotification = msg == WM_COMMAND && HIWORD(wParam) != BN_CLICKED;
    if (Interesting(msg) && !fieldNotification) gProbe->log.push_back({msg, wParam, lParam});
    if (msg == WM_INITDIALOG) {
        if (gProbe->showInInit) ShowWindow(hwnd, SW_SHOW);
        if (gProbe->textInInit != nullptr)
            SetDlgItemTextW(hwnd, gProbe->focusInInit, gProbe->textInInit);
        if (gProbe->focusInInit != 0) SetFocus(GetDlgItem(hwnd, gProbe->focusInInit));
        return gProbe->initResult;
    }
    if (msg == WM_COMMAND && gProbe->endOnCommand) {
        WORD id = LOWORD(wParam);
        if (id == IDOK || id == IDCANCEL || id == kResumeButton) EndDialog(hwnd, id);
        return TRUE;
    }
    return FALSE;
}

// A dialog shaped like the main window: 133 x 94 units, centred, caption and close box.
std::vector<BYTE> MainLikeTemplate(bool visible = true) {
    DWORD style = DS_SETFONT | DS_CENTER | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU |
                  (visible ? WS_VISIBLE : 0);
    DialogBytes t(style, 0, 0, 133, 94, u"Quillbrook");
    t.Control(kComboAtom, CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_TABSTOP, 0, 0, 133, 12, kUrlEdit, u"")
        .Control(kEditAtom, ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 0, 13, 113, 12, kPathEdit, u"")
        .Control(kButtonAtom, BS_PUSHBUTTON | WS_TABSTOP, 113, 13, 19, 13, 1004, u"...")
        .Control(kStaticAtom, SS_LEFT, 1, 27, 42, 10, 0xFFFF, u"Bytes")
        .Control(kStaticAtom, SS_LEFT, 1, 37, 42, 10, 0xFFFF, u"RestTime")
        .Control(kStaticAtom, SS_LEFT, 43, 27, 90, 10, kLabel, u"")
        .Named(u"msctls_progress32", 0, 0, 69, 133, 7, 1013)
        .Control(kButtonAtom, BS_DEFPUSHBUTTON | WS_TABSTOP, 3, 79, 39, 13, kStartButton, u"Start")
        .Control(kButtonAtom, BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED, 46, 79, 39, 13,
                 kPauseButton, u"Pause")
        .Control(kButtonAtom, BS_PUSHBUTTON | WS_TABSTOP, 85, 79, 39, 13, IDCANCEL, u"Stop");
    return t.Build();
}

std::vector<BYTE> QuestionTemplate() {
    DialogBytes t(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU, 10, 10, 154, 54,
                  u"Question");
    t.Control(kStaticAtom, SS_LEFT, 45, 13, 100, 10, 0xFFFF, u"This file already exists.")
        .Control(kButtonAtom, BS_PUSHBUTTON | WS_TABSTOP, 6, 35, 43, 13, kResumeButton, u"&Resume")
        .Control(kButtonAtom, BS_PUSHBUTTON | WS_TABSTOP, 58, 35, 43, 13, 1016, u"&Overwrite")
        .Control(kButtonAtom, BS_PUSHBUTTON | WS_TABSTOP, 104, 35, 43, 13, IDCANCEL, u"&Cancel");
    return t.Build();
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        qb::test::Reset();
        qb::test::SetStrictModals(true);
        gProbe = &probe;
    }
    void TearDown() override {
        qb::test::Pump();
        gProbe = nullptr;
    }
    HWND Create(const std::vector<BYTE>& bytes, HWND owner = nullptr) {
        bytes_ = bytes;
        return CreateDialogIndirectParamW(nullptr, AsTemplate(bytes_), owner, ProbeProc, 77);
    }
    std::vector<UINT> Messages() const {
        std::vector<UINT> out;
        for (const Recorded& r : probe.log) out.push_back(r.message);
        return out;
    }
    Probe probe;
    std::vector<BYTE> bytes_;
};

TEST_F(DialogTest, CreationGivesFontThenInitDialogWithTheParameter) {
    HWND dlg = Create(MainLikeTemplate());
    WindowGuard guard(dlg);
    ASSERT_NE(dlg, nullptr);
    ASSERT_EQ(Messages(), (std::vector<UINT>{WM_SETFONT, WM_INITDIALOG}));
    EXPECT_EQ(probe.log[1].lParam, 77);
    EXPECT_EQ(reinterpret_cast<HWND>(probe.log[1].wParam), GetDlgItem(dlg, kUrlEdit));
    EXPECT_TRUE(IsWindowVisible(dlg));
    EXPECT_EQ(TextOf(dlg), u"Quillbrook");
    EXPECT_EQ(GetDlgCtrlID(GetDlgItem(dlg, kStartButton)), kStartButton);
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dlg, kPauseButton)));
    RECT client;
    GetClientRect(dlg, &client);
    EXPECT_EQ(client.right, 136); // 133 x 94 units in whole cells: 34 x 12
    EXPECT_EQ(client.bottom, 96);
    // DS_CENTER centres it on the screen (80 x 25 cells of 4 x 8 units).
    RECT window;
    GetWindowRect(dlg, &window);
    EXPECT_EQ(window.left, (GetSystemMetrics(SM_CXSCREEN) - (window.right - window.left)) / 2);
    RECT cells = qb::test::WindowCells(dlg);
    EXPECT_EQ(cells.right - cells.left, 34 + 2);
    EXPECT_EQ(cells.bottom - cells.top, 12 + 2);
}

TEST_F(DialogTest, ClicksAndTheCloseBoxBecomeCommands) {
    probe.endOnCommand = false;
    HWND dlg = Create(MainLikeTemplate());
    WindowGuard guard(dlg);
    probe.log.clear();
    qb::test::ClickWindow(GetDlgItem(dlg, kStartButton));
    qb::test::ClickWindow(GetDlgItem(dlg, kPauseButton)); // disabled: nothing
    qb::test::ClickCloseBox(dlg);
    ASSERT_EQ(Messages(), (std::vector<UINT>{WM_COMMAND, WM_CLOSE, WM_COMMAND}));
    EXPECT_EQ(probe.log[0].wParam, MAKEWPARAM(kStartButton, BN_CLICKED));
    EXPECT_EQ(reinterpret_cast<HWND>(probe.log[0].lParam), GetDlgItem(dlg, kStartButton));
    EXPECT_EQ(probe.log[2].wParam, MAKEWPARAM(IDCANCEL, BN_CLICKED));
    probe.log.clear();
    DestroyWindow(dlg);
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY}));
}

TEST_F(DialogTest, InitDialogFocusRule) {
    // TRUE: the first tab stop gets the focus, its text all selected.
    {
        HWND dlg = Create(MainLikeTemplate());
        WindowGuard guard(dlg);
        EXPECT_EQ(GetFocus(), GetDlgItem(dlg, kUrlEdit));
    }
    // FALSE after setting the focus itself: the procedure's choice stays.
    probe = Probe{};
    probe.initResult = FALSE;
    probe.focusInInit = kPathEdit;
    HWND dlg = Create(MainLikeTemplate());
    WindowGuard guard(dlg);
    EXPECT_EQ(GetFocus(), GetDlgItem(dlg, kPathEdit));
}

// The edit that has the focus when the dialog starts has its whole text selected, also when
// the procedure showed the dialog (focusing the field) before filling it: a first paste
// replaces the pre-filled "http://" instead of joining it.
TEST_F(DialogTest, FieldFocusedAtStartHasItsTextSelected) {
    for (bool show : {false, true}) {
        for (int field : {kUrlEdit, kPathEdit}) {
            probe = Probe{};
            probe.initResult = FALSE;
            probe.showInInit = show;
            probe.focusInInit = field;
            probe.textInInit = u"http://";
            HWND dlg = Create(MainLikeTemplate(false));
            WindowGuard guard(dlg);
            ShowWindow(dlg, SW_SHOW);
            ASSERT_EQ(GetFocus(), GetDlgItem(dlg, field));
            qb::test::TypeText(u"x");
            EXPECT_EQ(ItemText(dlg, field), u"x") << "shown in init " << show << ", " << field;
        }
    }
}

// Arrow keys move among the group's buttons that can be seen and used: never to its label,
// its icon, a hidden or a disabled button (Enter there would do nothing).
TEST_F(DialogTest, ArrowsSkipWhatCannotShowTheFocus) {
    DialogBytes t(DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE, 10,
                  10, 154, 54, u"Question");
    t.Control(kStaticAtom, SS_LEFT | WS_GROUP, 45, 13, 100, 10, 0xFFFF,
              u"This file already exists.")
        .Control(kButtonAtom, BS_PUSHBUTTON | WS_TABSTOP, 6, 35, 43, 13, kResumeButton, u"&Resume")
        .Control(kButtonAtom, BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED, 58, 35, 43, 13, 1016,
                 u"&Overwrite")
        .Control(kButtonAtom, BS_PUSHBUTTON | WS_TABSTOP, 104, 35, 43, 13, IDCANCEL, u"&Cancel")
        .Control(kStaticAtom, SS_ICON, 9, 7, 20, 20, 1017, u"")
        .Named(u"msctls_progress32", 0, 0, 50, 100, 4, 1018)
        .Control(kButtonAtom, BS_PUSHBUTTON | WS_TABSTOP, 6, 20, 43, 13, 1019, u"Hidden");
    HWND dlg = Create(t.Build());
    WindowGuard guard(dlg);
    ShowWindow(GetDlgItem(dlg, 1019), SW_HIDE);
    SetFocus(GetDlgItem(dlg, IDCANCEL));
    std::vector<int> right, left;
    for (int i = 0; i < 3; ++i) {
        qb::test::PressKey(Key::kRight);
        right.push_back(GetDlgCtrlID(GetFocus()));
    }
    for (int i = 0; i < 3; ++i) {
        qb::test::PressKey(Key::kLeft);
        left.push_back(GetDlgCtrlID(GetFocus()));
    }
    EXPECT_EQ(right, (std::vector<int>{kResumeButton, IDCANCEL, kResumeButton}));
    EXPECT_EQ(left, (std::vector<int>{IDCANCEL, kResumeButton, IDCANCEL}));
}

TEST_F(DialogTest, TabOrderSkipsDisabledAndWraps) {
    HWND dlg = Create(MainLikeTemplate());
    WindowGuard guard(dlg);
    SetDlgItemTextW(dlg, kPathEdit, u"\\My Documents");
    std::vector<int> order;
    for (int i = 0; i < 6; ++i) {
        qb::test::PressKey(Key::kTab);
        order.push_back(GetDlgCtrlID(GetFocus()));
    }
    EXPECT_EQ(order,
              (std::vector<int>{kPathEdit, 1004, kStartButton, IDCANCEL, kUrlEdit, kPathEdit}));
    // Tab into an edit selects all its text.
    DWORD from = 1, to = 0;
    SendDlgItemMessageW(dlg, kPathEdit, EM_GETSEL, reinterpret_cast<WPARAM>(&from),
                        reinterpret_cast<LPARAM>(&to));
    EXPECT_EQ(from, 0u);
    EXPECT_EQ(to, 13u);
    qb::test::PressKey(Key::kTab, qb::render::kModShift);
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), kUrlEdit);
}

TEST_F(DialogTest, EnterEscapeAndFocusedButtons) {
    probe.endOnCommand = false;
    HWND dlg = Create(MainLikeTemplate());
    WindowGuard guard(dlg);
    probe.log.clear();
    qb::test::PressKey(Key::kEnter); // focus in the URL field: the default button
    SetFocus(GetDlgItem(dlg, 1004));
    qb::test::PressKey(Key::kEnter); // a focused push button is pressed instead
    qb::test::PressKey(Key::kEscape);
    qb::test::PressKey(Key::kSpace); // Space presses the focused button
    std::vector<WPARAM> commands;
    for (const Recorded& r : probe.log)
        if (r.message == WM_COMMAND) commands.push_back(r.wParam);
    EXPECT_EQ(commands, (std::vector<WPARAM>{
                            MAKEWPARAM(kStartButton, BN_CLICKED), MAKEWPARAM(1004, BN_CLICKED),
                            MAKEWPARAM(IDCANCEL, BN_CLICKED), MAKEWPARAM(1004, BN_CLICKED)}));
    EXPECT_EQ(SendMessageW(dlg, DM_GETDEFID, 0, 0), MAKELONG(kStartButton, DC_HASDEFID));
}

TEST_F(DialogTest, AcceleratorsPressTheMarkedButton) {
    std::vector<BYTE> bytes = QuestionTemplate();
    struct Case {
        const char* name;
        std::function<void()> press;
        INT_PTR expected;
    };
    const Case cases[] = {
        {"Alt+r", [] { qb::test::PressAlt(u'r'); }, kResumeButton},
        {"letter on a button", [] { qb::test::TypeText(u"R"); }, kResumeButton},
        {"Escape", [] { qb::test::PressKey(Key::kEscape); }, IDCANCEL},
        {"Alt+c", [] { qb::test::PressAlt(u'C'); }, IDCANCEL},
    };
    for (const Case& c : cases) {
        qb::test::DriveDialog([&](HWND) { c.press(); });
        INT_PTR result = DialogBoxIndirectParamW(nullptr, AsTemplate(bytes), nullptr, ProbeProc, 0);
        EXPECT_EQ(result, c.expected) << c.name;
    }
    // A letter no control marks beeps and changes nothing.
    qb::test::DriveDialog([](HWND) { qb::test::PressAlt(u'z'); });
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, AsTemplate(bytes), nullptr, ProbeProc, 0), -1);
    EXPECT_FALSE(qb::test::Beeps().empty());
}

TEST_F(DialogTest, SpaceTogglesAnAutoCheckBox) {
    probe.endOnCommand = false;
    DialogBytes t(WS_POPUP | WS_VISIBLE | WS_CAPTION, 0, 0, 133, 75, u"Proxy Configuration");
    t.Control(kButtonAtom, BS_AUTOCHECKBOX | WS_TABSTOP, 10, 3, 80, 10, kCheck, u"Enable Proxy")
        .Control(kButtonAtom, BS_DEFPUSHBUTTON | WS_TABSTOP, 40, 58, 50, 14, IDOK, u"OK");
    HWND dlg = Create(t.Build());
    WindowGuard guard(dlg);
    ASSERT_EQ(GetFocus(), GetDlgItem(dlg, kCheck));
    probe.log.clear();
    qb::test::PressKey(Key::kSpace);
    EXPECT_EQ(IsDlgButtonChecked(dlg, kCheck), static_cast<UINT>(BST_CHECKED));
    qb::test::TypeText(u" ");
    EXPECT_EQ(IsDlgButtonChecked(dlg, kCheck), static_cast<UINT>(BST_UNCHECKED));
    ASSERT_EQ(probe.log.size(), 2u);
    EXPECT_EQ(probe.log[0].wParam, MAKEWPARAM(kCheck, BN_CLICKED));
    CheckDlgButton(dlg, kCheck, BST_CHECKED); // no notification for the program's own change
    EXPECT_EQ(probe.log.size(), 2u);
    EXPECT_EQ(SendDlgItemMessageW(dlg, kCheck, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_NE(qb::test::WindowText(GetDlgItem(dlg, kCheck)).find("[x] Enable Proxy"),
              std::string::npos);
}

// ---- Modal loops ------------------------------------------------------------------------

std::vector<BYTE> gInner;
INT_PTR gInnerResult = 0;

INT_PTR CALLBACK OuterProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM) {
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && LOWORD(wParam) == IDOK) {
        // A modal dialog inside a modal dialog: this one is disabled meanwhile.
        gInnerResult = DialogBoxIndirectParamW(nullptr, AsTemplate(gInner), hwnd, ProbeProc, 0);
        EndDialog(hwnd, 300 + gInnerResult);
        return TRUE;
    }
    return FALSE;
}

TEST_F(DialogTest, ModalLoopsNestTwiceAndDisableTheirOwners) {
    HWND main = Create(MainLikeTemplate());
    WindowGuard guard(main);
    gInner = QuestionTemplate();
    DialogBytes outer(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 0, 0, 100, 40, u"Outer");
    outer.Control(kButtonAtom, BS_DEFPUSHBUTTON | WS_TABSTOP, 20, 20, 40, 13, IDOK, u"OK");
    std::vector<BYTE> outerBytes = outer.Build();
    bool ownersDisabled = false;
    HWND outerWindow = nullptr;
    qb::test::DriveDialog([&](HWND dlg) {
        outerWindow = dlg;
        EXPECT_FALSE(IsWindowEnabled(main));
        qb::test::PressKey(Key::kEnter);
    });
    qb::test::DriveDialog([&](HWND inner) {
        ownersDisabled = !IsWindowEnabled(main) && !IsWindowEnabled(outerWindow);
        EXPECT_EQ(GetParent(inner), outerWindow);
        // The innermost dialog is drawn over the others.
        std::string screen = qb::test::ScreenText();
        EXPECT_NE(screen.find("This file already exists."), std::string::npos) << screen;
        qb::test::PressAlt(u'o'); // Overwrite: not ended by the probe
        qb::test::PressAlt(u'r');
    });
    INT_PTR result = DialogBoxIndirectParamW(nullptr, AsTemplate(outerBytes), main, OuterProc, 0);
    EXPECT_TRUE(ownersDisabled);
    EXPECT_EQ(gInnerResult, kResumeButton);
    EXPECT_EQ(result, 300 + kResumeButton);
    EXPECT_TRUE(IsWindowEnabled(main));
    EXPECT_EQ(GetActiveWindow(), main);
    EXPECT_EQ(qb::test::PendingAnswers(), 0u);
    auto history = qb::test::ModalHistory();
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(history[0].title, u"Question");
    EXPECT_EQ(history[1].result, 300 + kResumeButton);
}

TEST_F(DialogTest, OwnerGetsItsFocusBackAfterAModalDialog) {
    HWND main = Create(MainLikeTemplate());
    WindowGuard guard(main);
    SetDlgItemTextW(main, kPathEdit, u"\\My Documents");
    SetFocus(GetDlgItem(main, kPathEdit));
    SendDlgItemMessageW(main, kPathEdit, EM_SETSEL, 3, 3); // the caret inside the text
    std::vector<BYTE> bytes = QuestionTemplate();
    HWND focusInside = nullptr;
    int focusId = 0;
    qb::test::DriveDialog([&](HWND) {
        focusInside = GetFocus();
        focusId = GetDlgCtrlID(focusInside);
        qb::test::PressKey(Key::kEscape);
    });
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, AsTemplate(bytes), main, ProbeProc, 0), IDCANCEL);
    EXPECT_EQ(focusId, kResumeButton); // the first tab stop of the question
    EXPECT_EQ(GetFocus(), GetDlgItem(main, kPathEdit));
    EXPECT_EQ(GetActiveWindow(), main);
    // The edit comes back as it was, its text not selected: the next key goes on typing.
    DWORD from = 0, to = 0;
    SendDlgItemMessageW(main, kPathEdit, EM_GETSEL, reinterpret_cast<WPARAM>(&from),
                        reinterpret_cast<LPARAM>(&to));
    EXPECT_EQ(from, 3u);
    EXPECT_EQ(to, 3u);
}

TEST_F(DialogTest, ModalAnswersQuitAndFailures) {
    std::vector<BYTE> bytes = QuestionTemplate();
    qb::test::AnswerDialog(1016);
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, AsTemplate(bytes), nullptr, ProbeProc, 0), 1016);
    // WM_QUIT ends the modal loop and stays for the outer loop.
    qb::test::DriveDialog([](HWND) { PostQuitMessage(9); });
    DialogBoxIndirectParamW(nullptr, AsTemplate(bytes), nullptr, ProbeProc, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 9u);
    // No answer with no one to see it (strict), an unknown class, a dead owner: -1.
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, AsTemplate(bytes), nullptr, ProbeProc, 0), -1);
    DialogBytes bad(WS_POPUP, 0, 0, 50, 50, u"Bad");
    bad.Named(u"NoSuchClass", 0, 0, 0, 10, 10, 5);
    std::vector<BYTE> badBytes = bad.Build();
    qb::test::AnswerDialog(1);
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, AsTemplate(badBytes), nullptr, ProbeProc, 0), -1);
    qb::test::AnswerDialog(1);
    EXPECT_EQ(DialogBoxIndirectParamW(nullptr, AsTemplate(bytes), reinterpret_cast<HWND>(0x99),
                                      ProbeProc, 0),
              -1);
}

TEST_F(DialogTest, EndDialogOnAModelessDialogHidesIt) {
    HWND dlg = Create(MainLikeTemplate());
    WindowGuard guard(dlg);
    EXPECT_TRUE(EndDialog(dlg, 5));
    EXPECT_FALSE(IsWindowVisible(dlg));
    EXPECT_TRUE(IsWindow(dlg));
    EXPECT_FALSE(EndDialog(reinterpret_cast<HWND>(0x4444), 1));
}

// ---- Items and placement ------------------------------------------------------------------

TEST_F(DialogTest, ItemTextAndNumbers) {
    HWND dlg = Create(MainLikeTemplate());
    WindowGuard guard(dlg);
    struct Case {
        const char16_t* text;
        BOOL isSigned;
        UINT value;
        BOOL translated;
    };
    const Case cases[] = {
        {u"8080", FALSE, 8080, TRUE},
        {u"  42", FALSE, 42, TRUE},
        {u"12abc", FALSE, 12, TRUE},
        {u"", FALSE, 0, FALSE},
        {u"abc", FALSE, 0, FALSE},
        {u"-5", FALSE, 0, FALSE},
        {u"-5", TRUE, static_cast<UINT>(-5), TRUE},
        {u"4294967295", FALSE, 4294967295u, TRUE},
        {u"4294967296", FALSE, 0, FALSE},
        {u"2147483648", TRUE, 0, FALSE},
    };
    for (const Case& c : cases) {
        SetDlgItemTextW(dlg, kPathEdit, c.text);
        BOOL translated = 7;
        EXPECT_EQ(GetDlgItemInt(dlg, kPathEdit, &translated, c.isSigned), c.value);
        EXPECT_EQ(translated, c.translated);
    }
    SetDlgItemInt(dlg, kPathEdit, static_cast<UINT>(-12), TRUE);
    EXPECT_EQ(ItemText(dlg, kPathEdit), u"-12");
    SetDlgItemInt(dlg, kPathEdit, 8080, FALSE);
    EXPECT_EQ(ItemText(dlg, kPathEdit), u"8080");
    EXPECT_EQ(GetWindowTextLengthW(GetDlgItem(dlg, kPathEdit)), 4);
    WCHAR small[3];
    EXPECT_EQ(GetDlgItemTextW(dlg, kPathEdit, small, 3), 2u); // cut, terminated
    EXPECT_EQ(std::u16string(small), u"80");
    EXPECT_EQ(GetDlgItemTextW(dlg, 4242, small, 3), 0u);
    EXPECT_EQ(small[0], 0);
}

TEST_F(DialogTest, StylesSlotsAndPlacement) {
    HWND dlg = Create(MainLikeTemplate());
    WindowGuard guard(dlg);
    LONG style = GetWindowLongW(dlg, GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    SetWindowLongW(dlg, GWL_STYLE, style | WS_MAXIMIZEBOX);
    EXPECT_TRUE(GetWindowLongW(dlg, GWL_STYLE) & WS_MAXIMIZEBOX);
    SetWindowLongPtrW(dlg, DWLP_USER, 1234);
    EXPECT_EQ(GetWindowLongPtrW(dlg, DWLP_USER), 1234);
    EXPECT_EQ(GetWindowLongPtrW(dlg, DWLP_DLGPROC), reinterpret_cast<LONG_PTR>(ProbeProc));
    SetWindowPos(dlg, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_TRUE(GetWindowLongW(dlg, GWL_EXSTYLE) & WS_EX_TOPMOST);
    RECT before;
    GetWindowRect(dlg, &before);
    SetWindowPos(dlg, nullptr, 8, 16, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    RECT after;
    GetWindowRect(dlg, &after);
    EXPECT_EQ(after.left, 8);
    EXPECT_EQ(after.top, 16);
    EXPECT_EQ(after.right - after.left, before.right - before.left);
    RECT cells = qb::test::WindowCells(dlg);
    EXPECT_EQ(cells.left, 2);
    EXPECT_EQ(cells.top, 2);
    // A child's rectangle is in screen units: inside its dialog's client area.
    RECT start;
    GetWindowRect(GetDlgItem(dlg, kStartButton), &start);
    POINT origin{0, 0};
    ClientToScreen(dlg, &origin);
    EXPECT_EQ(start.left, origin.x + 3);
    EXPECT_EQ(start.top, origin.y + 79);
    ShowWindow(dlg, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(dlg));
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(dlg, kStartButton)));
    EXPECT_TRUE(ShowWindow(dlg, SW_HIDE) == FALSE);
}

// ---- What a person sees -------------------------------------------------------------------

TEST_F(DialogTest, MainLikeDialogGrid) {
    HWND dlg = Create(MainLikeTemplate());
    WindowGuard guard(dlg);
    SetDlgItemTextW(dlg, kUrlEdit, u"http://");
    SetDlgItemTextW(dlg, kPathEdit, u"\\My Documents");
    SetDlgItemTextW(dlg, kLabel, u"1024/???");
    SendDlgItemMessageW(dlg, 1013, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendDlgItemMessageW(dlg, 1013, PBM_SETPOS, 50, 0);
    const std::string expected = "┌ Quillbrook ───────────────────[X]┐\n"
                                 "│http://                         ▼ │\n"
                                 "│                                  │\n"
                                 "│\\My Documents               [...] │\n"
                                 "│                                  │\n"
                                 "│Bytes      1024/???               │\n"
                                 "│RestTime                          │\n"
                                 "│                                  │\n"
                                 "│                                  │\n"
                                 "│                                  │\n"
                                 "│████████████████░░░░░░░░░░░░░░░░░ │\n"
                                 "│ [ Start  ] [ Pause ][  Stop  ]   │\n"
                                 "│                                  │\n"
                                 "└──────────────────────────────────┘";
    EXPECT_EQ(qb::test::WindowText(dlg), expected);
    qb::render::Screen grid = qb::test::WindowGrid(dlg);
    EXPECT_TRUE(HasAttr(grid, 1, 1, qb::render::kAttrFocused)); // the URL field has the focus
    EXPECT_TRUE(HasAttr(grid, 2, 11, qb::render::kAttrDefault));
    EXPECT_TRUE(HasAttr(grid, 14, 11, qb::render::kAttrDisabled));
    // On the screen it is centred, with the caret in the focused field.
    qb::render::Screen screen = qb::test::ScreenGrid();
    RECT cells = qb::test::WindowCells(dlg);
    EXPECT_EQ(cells.left, (80 - 36) / 2);
    EXPECT_TRUE(screen.caretVisible);
    EXPECT_EQ(screen.caretRow, cells.top + 1);
}

TEST_F(DialogTest, WideCharactersTakeTwoCells) {
    DialogBytes t(WS_POPUP | WS_VISIBLE | WS_BORDER, 0, 0, 60, 16, u"");
    t.Control(kStaticAtom, SS_LEFT, 0, 0, 60, 8, 1, u"既にファイル")
        .Control(kStaticAtom, SS_RIGHT, 0, 8, 60, 8, 2, u"転送速度");
    HWND dlg = Create(t.Build());
    WindowGuard guard(dlg);
    EXPECT_EQ(qb::test::WindowText(dlg), "┌───────────────┐\n"
                                         "│既にファイル   │\n"
                                         "│       転送速度│\n"
                                         "└───────────────┘");
    qb::render::Screen grid = qb::test::WindowGrid(dlg);
    EXPECT_EQ(grid.At(1, 1).ch, U'既');
    EXPECT_TRUE(HasAttr(grid, 2, 1, qb::render::kAttrWideTail));
}

} // namespace

namespace {

// A label wider than its control's cells takes the free cells beside it (a left-aligned one
// to the right, a right-aligned one to the left, a button on both sides, the odd cell where
// there is more room), never another control's; when none are free the dialog is scaled
// wider as it opens. A text set later only grows into free cells: the size stays.
TEST_F(DialogTest, LabelsTakeTheRoomTheyNeed) {
    const struct {
        const char* what;
        std::vector<BYTE> bytes;
        const char* shown;
    } cases[] = {
        {"left text grows right",
         DialogBytes(WS_POPUP | WS_VISIBLE, 0, 0, 64, 8, u"")
             .Control(kStaticAtom, SS_LEFT, 0, 0, 20, 8, 1, u"RestTimeXY")
             .Build(),
         "RestTimeXY"},
        {"right text grows left",
         DialogBytes(WS_POPUP | WS_VISIBLE, 0, 0, 64, 8, u"")
             .Control(kStaticAtom, SS_RIGHT, 24, 0, 20, 8, 1, u"Password :")
             .Control(kEditAtom, ES_READONLY, 44, 0, 20, 8, 2, u"abcde")
             .Build(),
         "   Password :abcde"},
        {"buttons in a row: the cells beside, then a wider dialog",
         DialogBytes(WS_POPUP | WS_VISIBLE, 0, 0, 64, 8, u"")
             .Control(kButtonAtom, BS_PUSHBUTTON, 0, 0, 16, 8, 1, u"One")
             .Control(kButtonAtom, BS_PUSHBUTTON, 28, 0, 20, 8, 2, u"Overwrite")
             .Control(kButtonAtom, BS_PUSHBUTTON, 48, 0, 16, 8, 3, u"Two")
             .Build(),
         "[One][Overwrite][Two]"},
        {"boxed in: the dialog is wider",
         DialogBytes(WS_POPUP | WS_VISIBLE, 0, 0, 40, 8, u"")
             .Control(kButtonAtom, BS_PUSHBUTTON, 0, 0, 20, 8, 1, u"Resume")
             .Control(kButtonAtom, BS_PUSHBUTTON, 20, 0, 20, 8, 2, u"Cancel")
             .Build(),
         "[Resume][Cancel]"},
    };
    for (const auto& c : cases) {
        HWND dlg = Create(c.bytes);
        WindowGuard guard(dlg);
        EXPECT_EQ(qb::test::WindowText(dlg), c.shown) << c.what;
    }
    // Set later: the one free cell to the right is taken, the dialog stays 16 cells wide.
    HWND dlg = Create(DialogBytes(WS_POPUP | WS_VISIBLE, 0, 0, 64, 8, u"")
                          .Control(kStaticAtom, SS_LEFT, 0, 0, 20, 8, 1, u"")
                          .Control(kStaticAtom, SS_LEFT, 24, 0, 40, 8, 2, u"right")
                          .Build());
    WindowGuard guard(dlg);
    SetDlgItemTextW(dlg, 1, u"A long label");
    EXPECT_EQ(qb::test::WindowText(dlg), "A longright");
    RECT cells = qb::test::WindowCells(dlg);
    EXPECT_EQ(cells.right - cells.left, 16);
}

} // namespace
