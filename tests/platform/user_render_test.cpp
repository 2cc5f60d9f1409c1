// The renderer boundary: screen-change notices on the GUI thread, the input descriptor in
// the message loop's wait, input turned into messages, message boxes shown as windows.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <string>

#include <windows.h>

#include "qb/render.h"
#include "qb/testhook.h"
#include "tests/platform/user_test_support.h"

using namespace qb::usertest;
using qb::render::Key;

namespace {

// Reads one byte per event from a pipe: 't' Tab, 'e' Enter, 'x' close the active window.
class FakeRenderer : public qb::render::Renderer {
public:
    FakeRenderer() {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        readFd = fds[0];
        writeFd = fds[1];
    }
    ~FakeRenderer() override {
        close(readFd);
        close(writeFd);
    }
    void ScreenChanged() override {
        ++changes;
        changeThread = GetCurrentThreadId();
        lastScreen = qb::test::GridText(qb::render::ComposeScreen());
    }
    int InputFd() override { return readFd; }
    void InputReady() override {
        char c = 0;
        if (read(readFd, &c, 1) != 1) return;
        ++inputs;
        if (c == 't') qb::render::FeedKey(Key::kTab);
        if (c == 'e') qb::render::FeedKey(Key::kEnter);
        if (c == 'x') qb::render::FeedCloseActive();
    }
    void Beep() override { ++beeps; }
    void Send(char c) { ASSERT_EQ(write(writeFd, &c, 1), 1); }

    int readFd = -1;
    int writeFd = -1;
    int changes = 0;
    int inputs = 0;
    int beeps = 0;
    DWORD changeThread = 0;
    std::string lastScreen;
};

bool gClosed = false;
int gPressed = 0; // the last button pressed
INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM) {
    if (msg == WM_INITDIALOG) return TRUE;
    if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) != IDCANCEL)
        gPressed = LOWORD(wParam);
    if (msg == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        gClosed = true;
        DestroyWindow(hwnd);
        return TRUE;
    }
    return FALSE;
}

class RenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        qb::test::Reset();
        gClosed = false;
        gPressed = 0;
        DialogBytes t(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU, 0, 0, 80, 40, u"Shown");
        t.Control(kEditAtom, WS_TABSTOP, 0, 0, 40, 12, 10, u"")
            .Control(kButtonAtom, BS_PUSHBUTTON | WS_TABSTOP, 0, 16, 40, 12, 11, u"Go");
        bytes = t.Build();
    }
    void TearDown() override {
        qb::render::SetRenderer(nullptr);
        qb::render::FeedResize(80, 25);
        qb::test::Pump();
    }
    std::vector<BYTE> bytes;
    FakeRenderer renderer;
};

TEST_F(RenderTest, ScreenChangesAreCoalescedOnTheGuiThread) {
    qb::render::SetRenderer(&renderer);
    EXPECT_EQ(renderer.changes, 1); // told once when attached
    EXPECT_EQ(qb::render::GetRenderer(), &renderer);
    HWND dlg = CreateDialogIndirectParamW(nullptr, AsTemplate(bytes), nullptr, Proc, 0);
    WindowGuard guard(dlg);
    EXPECT_TRUE(qb::render::AnyWindowVisible());
    SetDlgItemTextW(dlg, 10, u"one");
    SetDlgItemTextW(dlg, 10, u"two");
    EXPECT_EQ(renderer.changes, 1); // nothing until the loop runs
    qb::test::Pump();
    EXPECT_EQ(renderer.changes, 2);
    EXPECT_EQ(renderer.changeThread, GetCurrentThreadId());
    EXPECT_NE(renderer.lastScreen.find("two"), std::string::npos);
    qb::test::Pump();
    EXPECT_EQ(renderer.changes, 2); // no change, no notice
}

TEST_F(RenderTest, InputWakesTheMessageLoop) {
    qb::render::SetRenderer(&renderer);
    HWND dlg = CreateDialogIndirectParamW(nullptr, AsTemplate(bytes), nullptr, Proc, 0);
    WindowGuard guard(dlg);
    ASSERT_EQ(GetDlgCtrlID(GetFocus()), 10);
    struct Args {
        FakeRenderer* renderer;
    } args{&renderer};
    HANDLE typist = CreateThread(
        nullptr, 0,
        [](LPVOID p) -> DWORD {
            Sleep(30);
            static_cast<Args*>(p)->renderer->Send('t');
            Sleep(30);
            static_cast<Args*>(p)->renderer->Send('x');
            return 0;
        },
        &args, 0, nullptr);
    // A plain message loop, as the program runs it: blocked in GetMessageW until input.
    MSG msg;
    bool movedFocus = false;
    while (!gClosed && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
        if (GetDlgCtrlID(GetFocus()) == 11) movedFocus = true;
    }
    WaitForSingleObject(typist, INFINITE);
    CloseHandle(typist);
    EXPECT_TRUE(movedFocus);
    EXPECT_TRUE(gClosed);
    EXPECT_EQ(renderer.inputs, 2);
    EXPECT_EQ(renderer.changeThread, GetCurrentThreadId());
}

TEST_F(RenderTest, MessageBoxIsShownAndAnsweredThroughTheRenderer) {
    qb::render::SetRenderer(&renderer);
    renderer.Send('e');
    int result =
        MessageBoxW(nullptr, u"Finished receiving a file via HTTP.", u"Notification", MB_TOPMOST);
    EXPECT_EQ(result, IDOK);
    EXPECT_NE(renderer.lastScreen.find("Finished receiving a file via HTTP."), std::string::npos)
        << renderer.lastScreen;
    EXPECT_EQ(qb::test::ModalHistory().back().title, u"Notification");
    MessageBeep(MB_ICONQUESTION);
    EXPECT_EQ(renderer.beeps, 1);
}

// Pasted text reaches a writable field whole, spaces and all; anywhere else it is dropped,
// so that neither a pasted space nor a letter that is a button's key presses anything.
struct PasteCase {
    const char* name;
    int focus;             // the control that has the focus
    const char16_t* paste; // as the terminal's paste gives it
    const char16_t* field; // the focused edit's text after it (the first edit's otherwise)
};

const PasteCase kPasteCases[] = {
    {"FieldTakesTheTextWhole", 10, u"http://h/a b.bin", u"xhttp://h/a b.bin"},
    {"FieldTakesJapaneseAndSurrogates", 10, u"日本𠀋", u"x日本𠀋"},
    {"ButtonTakesNothingAndIsNotPressed", 11, u" g G ", u"x"},
    {"ReadOnlyFieldTakesNothing", 12, u"g y", u"ro"},
};

class PasteTest : public ::testing::TestWithParam<PasteCase> {};

TEST_P(PasteTest, GoesOnlyToAWritableField) {
    const PasteCase& c = GetParam();
    qb::test::Reset();
    gPressed = 0;
    DialogBytes t(WS_POPUP | WS_VISIBLE | WS_CAPTION, 0, 0, 80, 60, u"Paste");
    t.Control(kEditAtom, WS_TABSTOP | ES_AUTOHSCROLL, 0, 0, 60, 12, 10, u"x")
        .Control(kButtonAtom, BS_PUSHBUTTON | WS_TABSTOP, 0, 16, 40, 12, 11, u"&Go")
        .Control(kEditAtom, WS_TABSTOP | ES_READONLY, 0, 32, 40, 12, 12, u"ro");
    std::vector<BYTE> paste = t.Build();
    HWND dlg = CreateDialogIndirectParamW(nullptr, AsTemplate(paste), nullptr, Proc, 0);
    WindowGuard guard(dlg);
    SetFocus(GetDlgItem(dlg, c.focus));
    SendDlgItemMessageW(dlg, 10, EM_SETSEL, 1, 1); // the caret after the "x"
    std::u16string text = c.paste;
    qb::render::FeedPaste(text.data(), text.size());
    qb::test::Pump();
    EXPECT_EQ(gPressed, 0);
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), c.focus);
    EXPECT_EQ(ItemText(dlg, c.focus == 12 ? 12 : 10), c.field);
}

INSTANTIATE_TEST_SUITE_P(Render, PasteTest, ::testing::ValuesIn(kPasteCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A new screen size moves every top-level window: a centred one stays centred, another keeps
// its share of the free room, one that no longer fits goes to the corner (the renderer then
// says the screen is too small), and it is centred again once it fits.
TEST_F(RenderTest, ResizeKeepsWindowsInTheirPlace) {
    struct Step {
        int columns;
        int rows;
        POINT centred; // where the centred dialog's top-left cell is then
        POINT placed;  // and the one placed at 4 x 2 cells on an 80 x 25 screen
    } steps[] = {
        {120, 40, {40, 14}, {8, 4}}, // twice the free room across, 28 / 13 of it down
        {30, 8, {0, 0}, {0, 0}},     // neither fits
        {100, 30, {30, 9}, {30, 9}},
        {80, 25, {20, 6}, {20, 6}},
    };
    DialogBytes centred(WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_CENTER, 0, 0, 152, 80, u"Centred");
    DialogBytes placed(WS_POPUP | WS_VISIBLE | WS_CAPTION, 16, 16, 152, 80, u"Placed");
    std::vector<BYTE> centredBytes = centred.Build();
    std::vector<BYTE> placedBytes = placed.Build();
    HWND one = CreateDialogIndirectParamW(nullptr, AsTemplate(centredBytes), nullptr, Proc, 0);
    WindowGuard oneGuard(one);
    HWND two = CreateDialogIndirectParamW(nullptr, AsTemplate(placedBytes), nullptr, Proc, 0);
    WindowGuard twoGuard(two);
    auto cell = [](HWND w) {
        RECT r;
        GetWindowRect(w, &r);
        return POINT{r.left / 4, r.top / 8};
    };
    ASSERT_EQ(cell(one).x, 20);
    ASSERT_EQ(cell(two).x, 4);
    for (const Step& step : steps) {
        SCOPED_TRACE(std::to_string(step.columns) + "x" + std::to_string(step.rows));
        qb::render::FeedResize(step.columns, step.rows);
        EXPECT_EQ(cell(one).x, step.centred.x);
        EXPECT_EQ(cell(one).y, step.centred.y);
        EXPECT_EQ(cell(two).x, step.placed.x);
        EXPECT_EQ(cell(two).y, step.placed.y);
        qb::render::Screen screen = qb::test::ScreenGrid();
        EXPECT_EQ(screen.neededColumns, 40); // 38 + the frame
        EXPECT_EQ(screen.neededRows, 12);
    }
}

TEST_F(RenderTest, ResizeChangesTheScreen) {
    qb::render::FeedResize(100, 30);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 400);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 240);
    qb::render::Screen screen = qb::test::ScreenGrid();
    EXPECT_EQ(screen.columns, 100);
    EXPECT_EQ(screen.rows, 30);
    qb::render::FeedResize(0, -3);
    EXPECT_EQ(qb::render::ScreenColumns(), 1);
}

} // namespace
