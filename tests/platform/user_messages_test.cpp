// Message queues: posting, sending across threads, the quit message, timers and handles.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include <commctrl.h>
#include <windows.h>

#include "qb/testhook.h"
#include "tests/platform/user_test_support.h"

namespace {

std::vector<UINT> gSeen;
std::atomic<DWORD> gProcThread{0};

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    gSeen.push_back(msg);
    if (msg == WM_APP + 7) {
        gProcThread = GetCurrentThreadId();
        return static_cast<LRESULT>(wParam * 2);
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

HWND MakeWindow(DWORD style = 0, HWND parent = nullptr) {
    static bool registered = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = RecordingProc;
        wc.lpszClassName = u"QbRecording";
        return RegisterClassW(&wc) != 0;
    }();
    EXPECT_TRUE(registered);
    return CreateWindowExW(0, u"QbRecording", u"w", style, 0, 0, 40, 16, parent, nullptr, nullptr,
                           nullptr);
}

class MessagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        qb::test::Reset();
        gSeen.clear();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {}
    }
    void TearDown() override { qb::test::UseRealTime(); }
};

struct ThreadArgs {
    std::atomic<DWORD> id{0};
    std::atomic<bool> ready{false};
    std::atomic<UINT> received{0};
    HWND target = nullptr;
    LRESULT sendResult = 0;
};

DWORD WINAPI QueueOwner(LPVOID param) {
    auto* args = static_cast<ThreadArgs*>(param);
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE); // makes the queue
    args->ready = true;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) args->received = msg.message;
    args->received = WM_QUIT;
    return 0;
}

TEST_F(MessagesTest, PostingToAThreadNeedsItsQueue) {
    ThreadArgs args;
    DWORD id = 0;
    // A thread that never asks for messages has no queue: posting to it fails.
    HANDLE idle = CreateThread(
        nullptr, 0,
        [](LPVOID) -> DWORD {
            Sleep(100);
            return 0;
        },
        nullptr, 0, &id);
    ASSERT_NE(idle, nullptr);
    SetLastError(0);
    EXPECT_FALSE(PostThreadMessageW(id, WM_APP, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_THREAD_ID));
    WaitForSingleObject(idle, INFINITE);
    CloseHandle(idle);

    DWORD ownerId = 0;
    HANDLE owner = CreateThread(nullptr, 0, QueueOwner, &args, 0, &ownerId);
    while (!args.ready) Sleep(1);
    EXPECT_TRUE(PostThreadMessageW(ownerId, WM_APP + 1, 0, 0));
    EXPECT_TRUE(PostThreadMessageW(ownerId, WM_QUIT, 0, 0));
    EXPECT_EQ(WaitForSingleObject(owner, 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(args.received.load(), static_cast<UINT>(WM_QUIT));
    CloseHandle(owner);
}

TEST_F(MessagesTest, PeekKeepsOrRemovesAndQuitComesAfterPostedMessages) {
    PostThreadMessageW(GetCurrentThreadId(), WM_APP, 1, 0);
    PostQuitMessage(42);
    PostThreadMessageW(GetCurrentThreadId(), WM_APP + 1, 2, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_APP));
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 1u);
    // A range filter skips over messages without taking them.
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_APP + 1, WM_APP + 1, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 2u);
    EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), FALSE);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(static_cast<int>(msg.wParam), 42);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(GetMessageW(nullptr, nullptr, 0, 0), -1);
}

DWORD WINAPI LatePoster(LPVOID param) {
    auto* args = static_cast<ThreadArgs*>(param);
    Sleep(50);
    PostMessageW(args->target, WM_APP + 3, 5, 0);
    args->sendResult = SendMessageW(args->target, WM_APP + 7, 21, 0);
    PostThreadMessageW(args->id, WM_QUIT, 0, 0);
    return 0;
}

TEST_F(MessagesTest, OtherThreadWakesTheWaitAndSendRunsOnTheWindowsThread) {
    HWND hwnd = MakeWindow();
    qb::usertest::WindowGuard guard(hwnd);
    ThreadArgs args;
    args.target = hwnd;
    args.id = GetCurrentThreadId();
    gSeen.clear();
    HANDLE poster = CreateThread(nullptr, 0, LatePoster, &args, 0, nullptr);
    MSG msg;
    std::vector<UINT> posted;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        posted.push_back(msg.message);
        DispatchMessageW(&msg);
    }
    WaitForSingleObject(poster, INFINITE);
    CloseHandle(poster);
    EXPECT_EQ(posted, std::vector<UINT>{WM_APP + 3});
    EXPECT_EQ(args.sendResult, 42);
    EXPECT_EQ(gProcThread.load(), GetCurrentThreadId());
}

TEST_F(MessagesTest, TimersFireWhenTheQueueIsEmptyAndDoNotPileUp) {
    HWND hwnd = MakeWindow();
    qb::usertest::WindowGuard guard(hwnd);
    qb::test::SetTickCount(1000);
    ASSERT_NE(SetTimer(hwnd, 7, 50, nullptr), 0u);
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    qb::test::AdvanceTickCount(500);
    PostMessageW(hwnd, WM_APP + 2, 0, 0);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_APP + 2)); // posted messages come first
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_EQ(msg.hwnd, hwnd);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)); // ten periods, one message
    qb::test::AdvanceTickCount(50);
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_TRUE(KillTimer(hwnd, 7));
    qb::test::AdvanceTickCount(500);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_FALSE(KillTimer(hwnd, 7));
}

TEST_F(MessagesTest, GetMessageWaitsForATimer) {
    // With the real clock, a blocked GetMessageW wakes for the timer without spinning.
    HWND hwnd = MakeWindow();
    qb::usertest::WindowGuard guard(hwnd);
    UINT_PTR id = SetTimer(nullptr, 0, 20, nullptr);
    ASSERT_NE(id, 0u);
    DWORD start = GetTickCount();
    MSG msg;
    ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(msg.wParam, id);
    EXPECT_GE(GetTickCount() - start, 15u);
    KillTimer(nullptr, id);
}

TEST_F(MessagesTest, StaleAndGarbageHandlesFailCleanly) {
    HWND hwnd = MakeWindow();
    ASSERT_TRUE(IsWindow(hwnd));
    ASSERT_TRUE(DestroyWindow(hwnd));
    const HWND handles[] = {hwnd, reinterpret_cast<HWND>(0x1234), reinterpret_cast<HWND>(-7)};
    for (HWND h : handles) {
        EXPECT_FALSE(IsWindow(h));
        EXPECT_FALSE(PostMessageW(h, WM_APP, 0, 0));
        EXPECT_EQ(SendMessageW(h, WM_APP + 7, 1, 0), 0);
        EXPECT_FALSE(SetWindowTextW(h, u"x"));
        EXPECT_FALSE(ShowWindow(h, SW_SHOW));
        EXPECT_EQ(GetDlgItem(h, 1), nullptr);
        RECT r;
        EXPECT_FALSE(GetWindowRect(h, &r));
    }
    // A new window never gets the old handle back.
    HWND next = MakeWindow();
    EXPECT_NE(next, hwnd);
    DestroyWindow(next);
}

TEST_F(MessagesTest, DestroyWindowTellsTheParentThenItsChildren) {
    HWND parent = MakeWindow(WS_POPUP);
    HWND child = MakeWindow(WS_CHILD, parent);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(GetParent(child), parent);
    gSeen.clear();
    DestroyWindow(parent);
    std::vector<UINT> expected{WM_DESTROY, WM_DESTROY, WM_NCDESTROY, WM_NCDESTROY};
    EXPECT_EQ(gSeen, expected);
    EXPECT_FALSE(IsWindow(child));
}

TEST_F(MessagesTest, EmptyQueuePeekIsCheap) {
    // The receive thread peeks between every two pieces.
    constexpr int kPeeks = 200000;
    MSG msg;
    DWORD start = GetTickCount();
    for (int i = 0; i < kPeeks; ++i) ASSERT_FALSE(PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE));
    EXPECT_LT(GetTickCount() - start, 2000u);
}

TEST_F(MessagesTest, CommonControlsAndGlobalBlocks) {
    INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX),
                              ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS};
    EXPECT_TRUE(InitCommonControlsEx(&init));
    init.dwSize = 3;
    EXPECT_FALSE(InitCommonControlsEx(&init));
    EXPECT_FALSE(InitCommonControlsEx(nullptr));
    HGLOBAL block = GlobalAlloc(GHND, 16);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalSize(block), 16u);
    auto* bytes = static_cast<BYTE*>(GlobalLock(block));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(bytes[15], 0);
    GlobalUnlock(block);
    EXPECT_EQ(GlobalFree(block), nullptr);
    EXPECT_EQ(GlobalLock(block), nullptr); // freed: a stale handle fails
    EXPECT_EQ(GlobalFree(block), block);
}

} // namespace
