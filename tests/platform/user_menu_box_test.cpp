// Pop-up menus, message boxes and the clipboard.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <string>
#include <vector>

#include <windows.h>

#include "platform/user/menu_template.h"
#include "qb/observer.h"
#include "qb/testhook.h"
#include "tests/platform/sandbox.h"
#include "tests/platform/user_test_support.h"
#include "tests/support/text_cases.h"

using namespace qb::usertest;
using qb::render::Key;

namespace {

constexpr UINT kProxy = 40004;
constexpr UINT kUpdate = 40001;
constexpr UINT kAbout = 40002;

void Word(std::vector<BYTE>& out, WORD w) {
    out.push_back(static_cast<BYTE>(w & 0xFF));
    out.push_back(static_cast<BYTE>(w >> 8));
}
void Text(std::vector<BYTE>& out, const std::u16string& s) {
    for (char16_t c : s) Word(out, c);
    Word(out, 0);
}

// MENU { POPUP "Menu" { "Proxy"; SEPARATOR; "&Update" GRAYED; "&About" } } as rc writes it.
std::vector<BYTE> PopupMenuBytes() {
    std::vector<BYTE> out;
    Word(out, 0); // version
    Word(out, 0); // header size
    Word(out, MF_POPUP | MF_END);
    Text(out, u"Menu");
    Word(out, 0);
    Word(out, static_cast<WORD>(kProxy));
    Text(out, u"Proxy");
    Word(out, 0);
    Word(out, 0);
    Text(out, u"");
    Word(out, MF_GRAYED);
    Word(out, static_cast<WORD>(kUpdate));
    Text(out, u"&Update");
    Word(out, MF_END);
    Word(out, static_cast<WORD>(kAbout));
    Text(out, u"&About");
    return out;
}

UINT gCommand = 0;
INT_PTR CALLBACK OwnerProc(HWND, UINT msg, WPARAM wParam, LPARAM) {
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && HIWORD(wParam) == 0) gCommand = LOWORD(wParam);
    return FALSE;
}

class MenuBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        qb::test::Reset();
        qb::test::SetStrictModals(true);
        gCommand = 0;
        DialogBytes t(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_CENTER, 0, 0, 133, 94,
                      u"Owner");
        t.Control(kButtonAtom, BS_PUSHBUTTON | WS_TABSTOP, 3, 79, 39, 13, 1005, u"Start");
        bytes = t.Build();
        owner = CreateDialogIndirectParamW(nullptr, AsTemplate(bytes), nullptr, OwnerProc, 0);
        ASSERT_NE(owner, nullptr);
        std::vector<BYTE> menuBytes = PopupMenuBytes();
        menu = LoadMenuIndirectW(menuBytes.data());
        ASSERT_NE(menu, nullptr);
        popup = GetSubMenu(menu, 0);
        ASSERT_NE(popup, nullptr);
    }
    void TearDown() override {
        DestroyMenu(menu);
        DestroyWindow(owner);
        qb::test::Pump();
    }
    BOOL Track(UINT flags) {
        RECT r;
        GetWindowRect(owner, &r);
        return TrackPopupMenuEx(popup, flags | TPM_RIGHTALIGN | TPM_BOTTOMALIGN, r.right, r.bottom,
                                owner, nullptr);
    }
    std::vector<BYTE> bytes;
    HWND owner = nullptr;
    HMENU menu = nullptr;
    HMENU popup = nullptr;
};

TEST_F(MenuBoxTest, MenuTemplateItems) {
    EXPECT_EQ(GetMenuItemCount(menu), 1);
    EXPECT_EQ(GetMenuItemCount(popup), 4);
    EXPECT_EQ(GetMenuItemID(popup, 0), kProxy);
    EXPECT_TRUE(GetMenuState(popup, 1, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_TRUE(GetMenuState(popup, kUpdate, MF_BYCOMMAND) & MF_GRAYED);
    WCHAR text[32];
    EXPECT_EQ(GetMenuStringW(popup, kAbout, text, 32, MF_BYCOMMAND), 6);
    EXPECT_EQ(std::u16string(text), u"&About");
    EXPECT_EQ(GetSubMenu(menu, 5), nullptr);
    // Truncated or garbage templates are refused, never read past their end.
    std::vector<BYTE> bytes = PopupMenuBytes();
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        std::vector<BYTE> part(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_EQ(qb::user::LoadMenuFromBytes(part.data(), part.size()), nullptr) << cut;
    }
    HMENU whole = qb::user::LoadMenuFromBytes(bytes.data(), bytes.size());
    EXPECT_NE(whole, nullptr);
    DestroyMenu(whole);
    EXPECT_FALSE(IsMenu(reinterpret_cast<HMENU>(0x77)));
    EXPECT_FALSE(DestroyMenu(reinterpret_cast<HMENU>(0x77)));
}

TEST_F(MenuBoxTest, TrackedMenuIsDrawnAtTheCornerAndChosenByKeys) {
    qb::test::DriveMenu([&](HWND window) {
        RECT cells = qb::test::WindowCells(window);
        RECT ownerCells = qb::test::WindowCells(owner);
        EXPECT_EQ(cells.right, ownerCells.right); // right and bottom aligned at the corner
        EXPECT_EQ(cells.bottom, ownerCells.bottom);
        EXPECT_EQ(qb::test::WindowText(window), "┌─────────┐\n"
                                                "│ Proxy   │\n"
                                                "├─────────┤\n"
                                                "│ Update  │\n"
                                                "│ About   │\n"
                                                "└─────────┘");
        qb::test::PressKey(Key::kDown);
        qb::test::PressKey(Key::kEnter); // Update is grayed: nothing happens
        qb::test::TypeText(u"a");
    });
    EXPECT_TRUE(Track(0));
    qb::test::Pump();
    EXPECT_EQ(gCommand, kAbout);
}

TEST_F(MenuBoxTest, ReturnCommandEscapeAndGrayedAnswers) {
    qb::test::DriveMenu([](HWND) { qb::test::PressKey(Key::kEnter); });
    EXPECT_EQ(Track(TPM_RETURNCMD), static_cast<BOOL>(kProxy));
    qb::test::DriveMenu([](HWND) { qb::test::PressKey(Key::kEscape); });
    EXPECT_EQ(Track(TPM_RETURNCMD), 0);
    qb::test::AnswerMenu(kUpdate);
    EXPECT_EQ(Track(TPM_RETURNCMD), 0);
    qb::test::AnswerMenu(kAbout);
    EXPECT_EQ(Track(TPM_RETURNCMD), static_cast<BOOL>(kAbout));
    qb::test::Pump();
    EXPECT_EQ(gCommand, 0u);                                      // TPM_RETURNCMD sends nothing
    qb::test::DriveMenu([](HWND) { qb::test::ClickCell(0, 0); }); // a click elsewhere
    EXPECT_EQ(Track(TPM_RETURNCMD), 0);
    auto history = qb::test::ModalHistory();
    ASSERT_EQ(history.size(), 5u);
    EXPECT_TRUE(history[2].abandoned);
    EXPECT_EQ(history[3].result, static_cast<INT_PTR>(kAbout));
}

TEST_F(MenuBoxTest, MessageBoxAnsweredByTheHookIsRecorded) {
    qb::test::AnswerMessageBox(IDOK);
    EXPECT_EQ(MessageBoxW(owner, u"Failed to connect to HTTP server.", u"ERROR",
                          MB_ICONEXCLAMATION | MB_TOPMOST),
              IDOK);
    auto history = qb::test::ModalHistory();
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].kind, qb::test::ModalKind::kMessageBox);
    EXPECT_EQ(history[0].title, u"ERROR");
    EXPECT_EQ(history[0].text, u"Failed to connect to HTTP server.");
    EXPECT_EQ(history[0].type, static_cast<UINT>(MB_ICONEXCLAMATION | MB_TOPMOST));
    EXPECT_EQ(history[0].owner, owner);
}

TEST_F(MenuBoxTest, HeadlessMessageBoxWritesToStandardError) {
    qb::test::SetStrictModals(false);
    testing::internal::CaptureStderr();
    int yesNo = MessageBoxW(nullptr, u"Go on?", u"Question", MB_YESNO | MB_DEFBUTTON2);
    int ok = MessageBoxW(nullptr, u"ファイルの受信を完了しました。", u"通知", MB_TOPMOST);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(yesNo, IDNO);
    EXPECT_EQ(ok, IDOK);
    EXPECT_EQ(err, "Question: Go on?\n通知: ファイルの受信を完了しました。\n");
}

TEST_F(MenuBoxTest, DrivenMessageBoxIsADialogOverItsOwner) {
    std::string seen;
    bool ownerDisabled = false;
    qb::test::DriveMessageBox([&](HWND box) {
        seen = qb::test::WindowText(box);
        ownerDisabled = !IsWindowEnabled(owner);
        EXPECT_EQ(GetActiveWindow(), box);
        qb::test::PressKey(Key::kEnter);
    });
    int result = MessageBoxW(owner, u"Error occurred in receiving.", u"ERROR",
                             MB_ICONEXCLAMATION | MB_TOPMOST);
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(seen, "┌ ERROR ────────────────────────[X]┐\n"
                    "│                                  │\n"
                    "│ (!) Error occurred in receiving. │\n"
                    "│                                  │\n"
                    "│             [  OK  ]             │\n"
                    "│                                  │\n"
                    "└──────────────────────────────────┘");
    // Yes/No: Escape can't answer it, the close box neither; "n" presses No.
    qb::test::DriveMessageBox([](HWND box) {
        qb::test::PressKey(Key::kEscape);
        qb::test::ClickCloseBox(box);
        qb::test::TypeText(u"n");
    });
    EXPECT_EQ(MessageBoxW(owner, u"Overwrite?", u"Question", MB_YESNO | MB_ICONQUESTION), IDNO);
    // A driver that leaves the box open: it ends as cancelled.
    qb::test::DriveMessageBox([](HWND) {});
    EXPECT_EQ(MessageBoxW(nullptr, u"x", nullptr, MB_OK), IDCANCEL);
    EXPECT_TRUE(qb::test::ModalHistory().back().abandoned);
    EXPECT_EQ(qb::test::ModalHistory().back().title, u"Error");
}

// Any observer, not only the test hook, steers modals through the one seam and sees each end,
// the beeps and the clipboard reads; with none installed a box is written out as for a person.
class Spy final : public qb::user::Observer {
public:
    qb::user::ModalDecision next;
    std::vector<std::string> seen;
    qb::user::ModalDecision ModalStarting(qb::user::ModalKind, const void*) override {
        seen.push_back("start");
        return next;
    }
    void ModalShown(HWND, const qb::user::ModalDecision&, std::function<void()>) override {
        seen.push_back("shown");
    }
    bool ModalLoopEnded(HWND) override { return false; }
    void ModalEnded(const qb::user::ModalReport& report) override {
        seen.push_back("end " + std::to_string(report.result) + (report.abandoned ? " !" : ""));
    }
    bool Idle(bool) override { return false; }
    void Beeped(UINT type) override { seen.push_back("beep " + std::to_string(type)); }
    bool ClipboardText(std::u16string* text, bool* present) override {
        seen.push_back("clipboard");
        *text = u"x";
        *present = true;
        return true;
    }
};

TEST_F(MenuBoxTest, AnyObserverSteersModalsThroughTheSeam) {
    using qb::user::ModalPlan;
    struct Case {
        const char* name;
        qb::test::ModalKind kind;
        ModalPlan plan;
        INT_PTR answer;
        INT_PTR result;
        const char* end;
    };
    const Case cases[] = {
        {"menu answered", qb::test::ModalKind::kMenu, ModalPlan::kAnswer, kAbout, kAbout,
         "end 40002"},
        {"grayed item", qb::test::ModalKind::kMenu, ModalPlan::kAnswer, kUpdate, 0, "end 0 !"},
        {"menu refused", qb::test::ModalKind::kMenu, ModalPlan::kRefuse, 0, 0, "end 0"},
        {"box answered", qb::test::ModalKind::kMessageBox, ModalPlan::kAnswer, IDNO, IDNO, "end 7"},
        {"box refused: its default", qb::test::ModalKind::kMessageBox, ModalPlan::kRefuse, 0, IDYES,
         "end 6"},
        {"dialog answered", qb::test::ModalKind::kDialog, ModalPlan::kAnswer, 42, 42, "end 42"},
        {"dialog refused", qb::test::ModalKind::kDialog, ModalPlan::kRefuse, 0, -1, "end -1"},
    };
    Spy spy;
    qb::user::Observer* hook = qb::user::SetObserver(&spy);
    ASSERT_NE(hook, nullptr);
    testing::internal::CaptureStderr();
    for (const Case& c : cases) {
        spy.seen.clear();
        spy.next = qb::user::ModalDecision{c.plan, c.answer, nullptr};
        INT_PTR result = 0;
        if (c.kind == qb::test::ModalKind::kMenu)
            result = Track(TPM_RETURNCMD);
        else if (c.kind == qb::test::ModalKind::kMessageBox)
            result = MessageBoxW(owner, u"Go on?", u"Question", MB_YESNO);
        else
            result = DialogBoxIndirectParamW(nullptr, AsTemplate(bytes), owner, OwnerProc, 0);
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_EQ(spy.seen, (std::vector<std::string>{"start", c.end})) << c.name;
        EXPECT_TRUE(IsWindowEnabled(owner)) << c.name;
    }
    spy.seen.clear();
    MessageBeep(MB_ICONHAND);
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_UNICODETEXT));
    EXPECT_EQ(spy.seen, (std::vector<std::string>{"beep 16", "clipboard"}));
    // No observer: the unanswered box goes to standard error and takes its default button.
    qb::user::SetObserver(nullptr);
    EXPECT_EQ(MessageBoxW(owner, u"Go on?", u"Question", MB_YESNO | MB_DEFBUTTON2), IDNO);
    qb::user::SetObserver(hook);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Question: Go on?\n");
    EXPECT_TRUE(qb::test::ModalHistory().empty()); // the hook saw none of it
    EXPECT_EQ(qb::test::PendingAnswers(), 0u);
}

TEST_F(MenuBoxTest, ClipboardTextThroughTheHook) {
    qb::test::SetClipboardText(u"http://example.com/a");
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_UNICODETEXT));
    EXPECT_EQ(GetClipboardData(CF_UNICODETEXT), nullptr); // not open
    ASSERT_TRUE(OpenClipboard(owner));
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    ASSERT_NE(data, nullptr);
    auto* text = static_cast<const WCHAR*>(GlobalLock(data));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::u16string(text), u"http://example.com/a");
    GlobalUnlock(data);
    // Another thread can't open it meanwhile.
    std::atomic<BOOL> opened{TRUE};
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            *static_cast<std::atomic<BOOL>*>(p) = OpenClipboard(nullptr);
            return 0;
        },
        &opened, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_FALSE(opened.load());
    EXPECT_TRUE(CloseClipboard());
    EXPECT_FALSE(CloseClipboard());
    qb::test::SetClipboardText(nullptr);
    EXPECT_FALSE(IsClipboardFormatAvailable(CF_UNICODETEXT));
    ASSERT_TRUE(OpenClipboard(owner));
    EXPECT_EQ(GetClipboardData(CF_UNICODETEXT), nullptr);
    CloseClipboard();
    EXPECT_EQ(GlobalLock(reinterpret_cast<HGLOBAL>(0x1234)), nullptr);
}

// The desktop's clipboard arrives from its tool as UTF-8; a stand-in `xclip` prints each hard
// case, and the text is what the CP_UTF8 conversion makes of it.
TEST_F(MenuBoxTest, DesktopClipboardTextIsConvertedAsCodePageUtf8) {
    Sandbox sandbox;
    sandbox.writeFile("xclip", "#!/bin/sh\nexec cat \"$QB_CLIPBOARD_BYTES\"\n");
    ASSERT_EQ(chmod(sandbox.host("xclip").c_str(), 0755), 0);
    ScopedEnv& env = sandbox.env();
    env.set("PATH", (sandbox.root() + ":/usr/bin:/bin").c_str());
    env.set("WAYLAND_DISPLAY", nullptr);
    env.set("DISPLAY", ":test");
    env.set("QB_CLIPBOARD_BYTES", sandbox.host("bytes").c_str());
    qb::test::UseDesktopClipboard();
    for (const qb::test::Utf8Case& c : qb::test::kUtf8Cases) {
        SCOPED_TRACE(c.name);
        sandbox.writeFile("bytes", std::string(c.utf8));
        ASSERT_TRUE(OpenClipboard(owner));
        HANDLE data = GetClipboardData(CF_UNICODETEXT);
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(std::u16string(static_cast<const WCHAR*>(GlobalLock(data))), c.utf16);
        GlobalUnlock(data);
        CloseClipboard();
    }
    qb::test::SetClipboardText(nullptr);
}

} // namespace
