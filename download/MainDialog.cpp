#include "download/MainDialog.h"

#include <commctrl.h>

#include "app/AppState.h"
#include "app/Language.h"
#include "download/ProgressFormat.h"
#include "download/ReceiveThread.h"
#include "download/StartStep.h"
#include "download/TransferState.h"
#include "resources/resource.h"
#include "ui/About.h"
#include "ui/FolderBrowser.h"
#include "ui/ProxyDialog.h"

namespace {

constexpr DWORD kStopWaitMs = 3000;
constexpr DWORD kFinishWaitMs = 1000;
constexpr DWORD kBrowseCapacity = 1024; // units of the path given to the folder browser
constexpr LONG kMaximizeBoxStyle = 0x00010000;

void SetButtons(HWND dialog, BOOL start, BOOL pause, BOOL stop) {
    EnableWindow(GetDlgItem(dialog, IDC_START), start);
    EnableWindow(GetDlgItem(dialog, IDC_PAUSE), pause);
    EnableWindow(GetDlgItem(dialog, IDC_STOP), stop);
}

} // namespace

void PrepareMainDialog(HWND dialog) {
    SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetWindowLongW(dialog, GWL_STYLE, GetWindowLongW(dialog, GWL_STYLE) | kMaximizeBoxStyle);
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(gSmallIcon));
    SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
}

void TogglePause(HWND dialog, Worker* worker) {
    if (worker->thread == nullptr) return;
    if (!worker->paused) {
        SetDlgItemTextW(dialog, IDC_PAUSE, ByLanguage(TEXT("再開"), TEXT("Resume")));
        PostThreadMessageW(worker->threadId, kMsgPauseRequest, 0, 0);
        worker->paused = true;
    } else {
        SetDlgItemTextW(dialog, IDC_PAUSE, ByLanguage(TEXT("一時停止"), TEXT("Pause")));
        // The thread is paused and does not touch the counters until it is resumed.
        RestartSpeedCounting();
        PostThreadMessageW(worker->threadId, kMsgResumeRequest, 0, 0);
        worker->paused = false;
    }
}

void EndWorkerForStop(Worker* worker) {
    EndTransfer(&worker->thread, &worker->threadId, kStopWaitMs);
}

void EndWorkerForFinish(Worker* worker) {
    EndTransfer(&worker->thread, &worker->threadId, kFinishWaitMs);
}

void ResetAfterStop(HWND dialog, Worker* worker) {
    SetButtons(dialog, TRUE, FALSE, FALSE);
    if (worker->paused)
        SetDlgItemTextW(dialog, IDC_PAUSE, ByLanguage(TEXT("一時停止"), TEXT("Pause")));
    SetDlgItemTextW(dialog, IDC_BYTES, TEXT(""));
    SetDlgItemTextW(dialog, IDC_REST_TIME, TEXT(""));
    ForgetTransfer(worker);
}

void ForgetTransfer(Worker* worker) {
    ResetTransferCounters();
    worker->paused = false;
    gTransfer.active = false;
}

void ShowCompletionNotice(HWND dialog) {
    MessageBoxW(dialog,
                ByLanguage(TEXT("ファイルの受信を完了しました。"),
                           TEXT("Finished receiving a file via HTTP.")),
                ByLanguage(TEXT("通知"), TEXT("Notification")), MB_TOPMOST);
}

void ShowReceiveError(HWND dialog, UINT message) {
    if (message == kMsgNetworkError) {
        ShowFailure(
            dialog,
            TEXT(
                "受信中にエラーが発生しました。ネットワークに問題があるか、サーバが応答しません。"),
            TEXT("Error occurred in receiving. There might be some trouble on network or "
                 "server."));
    } else {
        ShowFailure(
            dialog,
            TEXT("受信中にエラーが発生しました。ストレージエリアが不足している可能性があります。"),
            TEXT("Error occurred in receiving. It seems that there is not enough storage "
                 "area."));
    }
}

void ShowStartNoMemory(HWND dialog) {
    ShowFailure(dialog, TEXT("作業用メモリが足りません。"), TEXT("Not enough memory."));
}

void BrowseForFolder(HWND dialog) {
    WCHAR path[kBrowseCapacity] = {};
    GetDlgItemTextW(dialog, IDC_PATH, path, kBrowseCapacity);
    if (OpenFolderBrowser(gInstance, dialog, path, kBrowseCapacity) > 0) {
        SetDlgItemTextW(dialog, IDC_PATH, path);
    }
}

void ShowPopupMenu(HWND dialog) {
    HMENU menu = LoadMenuW(gInstance, MAKEINTRESOURCEW(ByLanguage(IDM_POPUP_JA, IDM_POPUP_EN)));
    if (menu == nullptr) return;
    RECT frame{};
    GetWindowRect(dialog, &frame);
    HMENU popup = GetSubMenu(menu, 0);
    if (popup != nullptr) {
        TrackPopupMenuEx(popup, TPM_RIGHTALIGN | TPM_BOTTOMALIGN, frame.right, frame.bottom, dialog,
                         nullptr);
    }
    DestroyMenu(menu);
}

void ShowProxy(HWND dialog) {
    ShowProxyDialog(gInstance, dialog);
}

void ShowAbout(HWND dialog) {
    ShowAboutBox(dialog);
}

bool HandleMenuCommand(HWND dialog, WORD id) {
    switch (id) {
    case IDC_MENU_BUTTON:
        ShowPopupMenu(dialog);
        return true;
    case IDM_PROXY:
        ShowProxy(dialog);
        return true;
    case IDM_ABOUT:
        ShowAbout(dialog);
        return true;
    default:
        return false;
    }
}
