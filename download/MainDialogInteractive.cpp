// The main dialog in interactive mode: the user fills in the URL and the folder and starts,
// pauses, resumes and stops downloads; the program ends with 0 when the window is closed.
#include <new>

#include "app/AppState.h"
#include "app/ExitCodes.h"
#include "app/Language.h"
#include "app/MainDialogProcs.h"
#include "base/StringUtil.h"
#include "download/MainDialog.h"
#include "download/ProgressFormat.h"
#include "download/StartStep.h"
#include "download/TransferState.h"
#include "http/HttpClient.h"
#include "resources/resource.h"
#include "ui/Credentials.h"

namespace {

constexpr WCHAR kUrlPrefix[] = TEXT("http://");
constexpr DWORD kUrlPrefixLength = 7;

Worker worker;
WCHAR* lastTarget = nullptr; // kTargetPathCapacity units while the dialog exists

// A clipboard text that begins with "http://" goes into the URL field.
bool TakeUrlFromClipboard(HWND dialog) {
    if (!OpenClipboard(dialog)) return false;
    bool taken = false;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const auto* text = data != nullptr ? static_cast<LPCWSTR>(GlobalLock(data)) : nullptr;
    if (text != nullptr) {
        DWORD i = 0;
        while (i < kUrlPrefixLength && text[i] == kUrlPrefix[i]) ++i;
        if (i == kUrlPrefixLength) {
            SetDlgItemTextW(dialog, IDC_URL, text);
            taken = true;
        }
        GlobalUnlock(data);
    }
    CloseClipboard();
    return taken;
}

void Open(HWND dialog) {
    ResetTransferCounters();
    gTransfer.dialog = dialog;
    gTransfer.active = false;
    ShowWindow(dialog, SW_SHOW);
    PrepareMainDialog(dialog);
    SetDlgItemTextW(dialog, IDC_URL, kUrlPrefix);
    SetDlgItemTextW(dialog, IDC_PATH, TEXT("\\My Documents"));
    SetFocus(GetDlgItem(dialog, IDC_URL));
    if (TakeUrlFromClipboard(dialog)) SetFocus(GetDlgItem(dialog, IDC_PATH));
    lastTarget = new (std::nothrow) WCHAR[kTargetPathCapacity]();
    if (lastTarget == nullptr) {
        MessageBoxW(dialog,
                    ByLanguage(TEXT("ソフトウェアの起動に必要なメモリ不足しています。"),
                               TEXT("Not enough memory to execute this software.")),
                    ByLanguage(TEXT("エラー"), TEXT("ERROR")), MB_ICONERROR | MB_TOPMOST);
        DestroyWindow(dialog);
        return;
    }
    SetCredentialsOwner(dialog);
    gHttpClient->SetCredentialsCallback(AskForCredentials, 0);
}

void Stop(HWND dialog) {
    EndWorkerForStop(&worker);
    ResetAfterStop(dialog, &worker);
}

void Finished(HWND dialog) {
    EndWorkerForFinish(&worker);
    ForgetTransfer(&worker);
    ShowCompletionNotice(dialog);
    EnableWindow(GetDlgItem(dialog, IDC_START), TRUE);
    EnableWindow(GetDlgItem(dialog, IDC_PAUSE), FALSE);
    EnableWindow(GetDlgItem(dialog, IDC_STOP), FALSE);
}

void Command(HWND dialog, WORD id) {
    switch (id) {
    case IDC_START:
        if (!gTransfer.active &&
            RunInteractiveStartStep(dialog, &worker.thread, &worker.threadId, lastTarget) < 0) {
            ShowStartNoMemory(dialog);
        }
        break;
    case IDC_PAUSE:
        TogglePause(dialog, &worker);
        break;
    case IDC_STOP:
        Stop(dialog);
        break;
    case IDC_BROWSE:
        BrowseForFolder(dialog);
        break;
    case IDCANCEL:
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

INT_PTR CALLBACK InteractiveDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
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
        if (gTransfer.active) {
            ShowReceiveError(dialog, message);
            PostMessageW(dialog, WM_COMMAND, IDC_STOP, 0);
        }
        return 0;
    case WM_DESTROY:
        EndWorkerForStop(&worker);
        gHttpClient->ClearCredentialsCallback();
        SetCredentialsOwner(nullptr);
        delete[] lastTarget;
        lastTarget = nullptr;
        gTransfer.dialog = nullptr;
        PostQuitMessage(kExitInteractive);
        return 0;
    default:
        return 0;
    }
}
