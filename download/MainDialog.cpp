#include "download/MainDialog.h"

#include <commctrl.h>

#include "core/AppState.h"
#include "core/ExitCodes.h"
#include "core/Language.h"
#include "download/ProgressFormat.h"
#include "download/ReceiveThread.h"
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
constexpr UINT_PTR kProgressTimer = 1;

LPCWSTR PauseLabel() {
    return ByLanguage(TEXT("一時停止"), TEXT("Pause"));
}

void TogglePause(HWND dialog, Worker* worker) {
    if (worker->thread == nullptr) return;
    if (!worker->paused) {
        SetDlgItemTextW(dialog, IDC_PAUSE, ByLanguage(TEXT("再開"), TEXT("Resume")));
        PauseSpeedCounting();
        PostThreadMessageW(worker->threadId, kMsgPauseRequest, 0, 0);
        worker->paused = true;
    } else {
        SetDlgItemTextW(dialog, IDC_PAUSE, PauseLabel());
        // The thread is paused and does not touch the counters until it is resumed.
        RestartSpeed(dialog);
        PostThreadMessageW(worker->threadId, kMsgResumeRequest, 0, 0);
        worker->paused = false;
    }
}

// Ends the worker (waiting waitMs, then until it ends) and closes the file and the connection.
void EndWorker(Worker* worker, DWORD waitMs) {
    EndTransfer(&worker->thread, &worker->threadId, waitMs);
}

// Total unknown, nothing received, not paused, no download under way.
void ForgetTransfer(Worker* worker) {
    ResetTransferCounters();
    worker->paused = false;
    gTransfer.active = false;
}

bool Automatic(const MainDialogMode& mode) {
    return mode.outcome != nullptr;
}

void Open(const MainDialogMode& mode, HWND dialog) {
    ResetTransferCounters();
    gTransfer.dialog = dialog;
    gTransfer.active = false;
    mode.open(dialog);
}

void Start(const MainDialogMode& mode, HWND dialog) {
    if (gTransfer.active) return;
    if (mode.start(dialog) < 0) ReportFailure(dialog, mode.outcome, Failure::kNoMemory);
}

void Stop(const MainDialogMode& mode, HWND dialog) {
    KillTimer(dialog, kStartRetryTimer); // a first request waiting for its next try
    gTransfer.startTries = 0;
    EndWorker(mode.worker, kStopWaitMs);
    if (Automatic(mode) && mode.outcome->closeAfterStop) {
        mode.outcome->closeAfterStop = false;
        ForgetTransfer(mode.worker);
        DestroyWindow(dialog);
        return;
    }
    SetButtons(dialog, ButtonState::kIdle);
    if (mode.worker->paused) SetDlgItemTextW(dialog, IDC_PAUSE, PauseLabel());
    // Only what the file holds stays; with no transfer under way (a first request waiting
    // for its next try) there is no file to speak of.
    if (gTransfer.active) {
        ShowStopped(dialog);
    } else {
        ClearProgress(dialog);
    }
    ForgetTransfer(mode.worker);
}

// The completion notice names the protocol in English; the Japanese one does so for https.
LPCWSTR FinishedText() {
    if (gTransfer.secure) {
        return ByLanguage(TEXT("HTTPSでファイルの受信を完了しました。"),
                          TEXT("Finished receiving a file via HTTPS."));
    }
    return ByLanguage(TEXT("ファイルの受信を完了しました。"),
                      TEXT("Finished receiving a file via HTTP."));
}

void Finished(const MainDialogMode& mode, HWND dialog) {
    if (Automatic(mode)) mode.outcome->completed = true;
    EndWorker(mode.worker, kFinishWaitMs);
    ForgetTransfer(mode.worker);
    if (Automatic(mode) && !gShowWindow) {
        DestroyWindow(dialog);
        return;
    }
    MessageBoxW(dialog, FinishedText(), ByLanguage(TEXT("通知"), TEXT("Notification")), MB_TOPMOST);
    // The automatic dialog downloads once; the interactive one is ready for the next.
    SetButtons(dialog, Automatic(mode) ? ButtonState::kDone : ButtonState::kIdle);
}

void Close(const MainDialogMode& mode, HWND dialog) {
    AutomaticOutcome* outcome = mode.outcome;
    if (Automatic(mode) && !outcome->completed && !outcome->startError) {
        outcome->exitCode = kExitWindowClosedEarly;
    }
    // The worker ends before the window and the shared objects go away.
    EndWorker(mode.worker, kStopWaitMs);
    ForgetTransfer(mode.worker);
    DestroyWindow(dialog);
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

void Command(const MainDialogMode& mode, HWND dialog, WORD id) {
    switch (id) {
    case IDC_START:
        // The user's Start begins the tries of the first request afresh, and nothing of an
        // earlier download stays on the screen.
        KillTimer(dialog, kStartRetryTimer);
        gTransfer.startTries = 0;
        if (!gTransfer.active) ClearProgress(dialog);
        Start(mode, dialog);
        break;
    case IDC_PAUSE:
        TogglePause(dialog, mode.worker);
        break;
    case IDC_STOP:
        Stop(mode, dialog);
        break;
    case IDC_BROWSE:
        if (!Automatic(mode) || gShowWindow) BrowseForFolder(dialog);
        break;
    case IDCANCEL:
        Close(mode, dialog);
        break;
    case IDC_MENU_BUTTON:
        ShowPopupMenu(dialog);
        break;
    case IDM_PROXY:
        ShowProxyDialog(gInstance, dialog);
        break;
    case IDM_ABOUT:
        ShowAboutBox(dialog);
        break;
    default:
        break;
    }
}

} // namespace

void SetButtons(HWND dialog, ButtonState state) {
    EnableWindow(GetDlgItem(dialog, IDC_START), state == ButtonState::kIdle);
    EnableWindow(GetDlgItem(dialog, IDC_PAUSE), state == ButtonState::kReceiving);
    EnableWindow(GetDlgItem(dialog, IDC_STOP), state == ButtonState::kReceiving);
}

void PrepareMainDialog(HWND dialog) {
    SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetWindowLongW(dialog, GWL_STYLE, GetWindowLongW(dialog, GWL_STYLE) | kMaximizeBoxStyle);
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(gSmallIcon));
    SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    // The receive thread reports only when bytes arrive: the timer lets a stall show.
    SetTimer(dialog, kProgressTimer, kProgressRefreshMs, nullptr);
}

INT_PTR HandleMainDialogMessage(const MainDialogMode& mode, HWND dialog, UINT message,
                                WPARAM wParam) {
    switch (message) {
    case WM_INITDIALOG:
        Open(mode, dialog);
        return 0;
    case WM_COMMAND:
        Command(mode, dialog, LOWORD(wParam));
        return 0;
    // The thread's messages count only while a download is under way: one posted before a
    // Stop arrives after it.
    case kMsgFinished:
        if (!gTransfer.active) return 0;
        ShowProgress(dialog, true); // a transfer shorter than the speed's span shows it now
        Finished(mode, dialog);
        return 0;
    case kMsgProgress:
        if (gTransfer.active) ShowProgress(dialog);
        return 0;
    case WM_TIMER:
        if (wParam == kStartRetryTimer) {
            KillTimer(dialog, kStartRetryTimer);
            Start(mode, dialog);
            return 0;
        }
        // A paused transfer keeps the figures it had when it was paused.
        if (gTransfer.active && !mode.worker->paused) ShowProgress(dialog);
        return 0;
    case kMsgRetrying:
        if (gTransfer.active) ShowRetrying(dialog, static_cast<DWORD>(wParam));
        return 0;
    case kMsgStartedOver:
        // The file is new again: the exit code of a new file.
        if (gTransfer.active && mode.outcome != nullptr) mode.outcome->exitCode = kExitDownloaded;
        return 0;
    case kMsgResumeRefused:
        if (gTransfer.active) ReportFailure(dialog, mode.outcome, Failure::kResumeRefused);
        return 0;
    case kMsgChecksumMismatch:
        if (gTransfer.active) ReportFailure(dialog, mode.outcome, Failure::kChecksum);
        return 0;
    case kMsgNetworkError:
    case kMsgStorageError:
        if (gTransfer.active) {
            ShowProgress(dialog, true); // the figures of the end, behind the message
            ReportFailure(dialog, mode.outcome,
                          message == kMsgNetworkError ? Failure::kNetwork : Failure::kStorage);
        }
        return 0;
    case WM_DESTROY: {
        EndWorker(mode.worker, kStopWaitMs);
        const int exitCode = mode.end(dialog);
        gTransfer.dialog = nullptr;
        PostQuitMessage(exitCode);
        return 0;
    }
    default:
        return 0;
    }
}
