// The main dialog in automatic mode: the download starts as the dialog opens, the window
// may be hidden, and the exit code tells the caller how the download ended.
#include "app/AppState.h"
#include "app/ExitCodes.h"
#include "app/MainDialogProcs.h"
#include "download/MainDialog.h"
#include "download/ProgressFormat.h"
#include "download/StartStep.h"
#include "download/TransferState.h"
#include "resources/resource.h"

namespace {

Worker worker;
AutomaticOutcome outcome{kExitDownloaded, false, false};
bool completed = false;

void Open(HWND dialog) {
    ResetTransferCounters();
    gTransfer.dialog = dialog;
    gTransfer.active = false;
    outcome = AutomaticOutcome{kExitDownloaded, false, false};
    completed = false;
    ShowWindow(dialog, gShowWindow ? SW_SHOW : SW_HIDE);
    SetWindowTextW(dialog, gCaption.GetWide());
    PrepareMainDialog(dialog);
    SetDlgItemTextW(dialog, IDC_URL, gUrl.GetWide());
    SetDlgItemTextW(dialog, IDC_PATH, gPath.GetWide());
    PostMessageW(dialog, WM_COMMAND, IDC_START, 0);
}

void Start(HWND dialog) {
    if (gTransfer.active) return;
    if (RunAutomaticStartStep(dialog, &worker.thread, &worker.threadId, &outcome) >= 0) return;
    if (gShowWindow) {
        ShowStartNoMemory(dialog);
        return;
    }
    outcome.exitCode = kExitNoMemory;
    outcome.closeAfterStop = true;
    outcome.startError = true;
    PostMessageW(dialog, WM_COMMAND, IDC_STOP, 0);
}

void Stop(HWND dialog) {
    EndWorkerForStop(&worker);
    if (outcome.closeAfterStop) {
        outcome.closeAfterStop = false;
        ForgetTransfer(&worker);
        DestroyWindow(dialog);
        return;
    }
    ResetAfterStop(dialog, &worker);
}

void Finished(HWND dialog) {
    completed = true;
    EndWorkerForFinish(&worker);
    ForgetTransfer(&worker);
    if (!gShowWindow) {
        DestroyWindow(dialog);
        return;
    }
    ShowCompletionNotice(dialog);
    EnableWindow(GetDlgItem(dialog, IDC_START), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_PAUSE), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_STOP), FALSE);
}

void ReceiveError(HWND dialog, UINT message) {
    if (gShowWindow) {
        ShowReceiveError(dialog, message);
    } else {
        outcome.exitCode = message == kMsgNetworkError ? kExitNetworkFailed : kExitWriteFailed;
        outcome.closeAfterStop = true;
    }
    PostMessageW(dialog, WM_COMMAND, IDC_STOP, 0);
}

void Command(HWND dialog, WORD id) {
    switch (id) {
    case IDC_START:
        Start(dialog);
        break;
    case IDC_PAUSE:
        TogglePause(dialog, &worker);
        break;
    case IDC_STOP:
        Stop(dialog);
        break;
    case IDC_BROWSE:
        if (gShowWindow) BrowseForFolder(dialog);
        break;
    case IDCANCEL:
        if (!completed && !outcome.startError) outcome.exitCode = kExitWindowClosedEarly;
        // The worker ends before the window and the shared objects go away.
        EndWorkerForStop(&worker);
        ForgetTransfer(&worker);
        DestroyWindow(dialog);
        break;
    default:
        HandleMenuCommand(dialog, id);
        break;
    }
}

} // namespace

INT_PTR CALLBACK AutomaticDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        Open(dialog);
        return 0;
    case WM_COMMAND:
        Command(dialog, LOWORD(wParam));
        return 0;
    case kMsgFinished:
        if (gTransfer.active) Finished(dialog);
        return 0;
    case kMsgProgress:
        if (gTransfer.active) ShowProgress(dialog);
        return 0;
    case kMsgNetworkError:
    case kMsgStorageError:
        if (gTransfer.active) ReceiveError(dialog, message);
        return 0;
    case WM_DESTROY:
        EndWorkerForStop(&worker);
        gTransfer.dialog = nullptr;
        PostQuitMessage(outcome.exitCode);
        return 0;
    default:
        return 0;
    }
}
