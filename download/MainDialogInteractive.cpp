// The main dialog in interactive mode: the user fills in the URL and the folder and starts,
// pauses, resumes and stops downloads; the program ends with 0 when the window is closed.
#include <new>

#include "core/AppState.h"
#include "core/ExitCodes.h"
#include "core/Language.h"
#include "core/UrlHistory.h"
#include "download/MainDialog.h"
#include "download/MainDialogProcs.h"
#include "download/StartStep.h"
#include "download/TransferState.h"
#include "http/HttpClient.h"
#include "resources/resource.h"
#include "ui/Credentials.h"

namespace {

constexpr WCHAR kUrlPrefix[] = TEXT("http://"); // the URL field's first text

Worker worker;
WCHAR* lastTarget = nullptr;   // kTargetPathCapacity units while the dialog exists
UrlHistory* history = nullptr; // the URL field's list while the dialog exists; none without memory

// The URL of a Start goes first into the URL field's list and the registry.
void RememberUrl(HWND dialog) {
    if (history == nullptr) return;
    WCHAR url[kUrlCapacity];
    if (GetDlgItemTextW(dialog, IDC_URL, url, kUrlCapacity) == 0) return;
    if (!AddToUrlHistory(history, url)) return;
    StoreUrlHistory(*history);
    FillUrlList(GetDlgItem(dialog, IDC_URL), *history);
}

// A clipboard text that begins with "http://" or "https://" goes into the URL field.
bool TakeUrlFromClipboard(HWND dialog) {
    if (!OpenClipboard(dialog)) return false;
    bool taken = false;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const auto* text = data != nullptr ? static_cast<LPCWSTR>(GlobalLock(data)) : nullptr;
    if (text != nullptr) {
        if (HttpHasScheme(text)) {
            SetDlgItemTextW(dialog, IDC_URL, text);
            taken = true;
        }
        GlobalUnlock(data);
    }
    CloseClipboard();
    return taken;
}

void Open(HWND dialog) {
    ShowWindow(dialog, SW_SHOW);
    PrepareMainDialog(dialog);
    SetDlgItemTextW(dialog, IDC_URL, kUrlPrefix);
    SetDlgItemTextW(dialog, IDC_PATH, TEXT("\\My Documents"));
    SetFocus(GetDlgItem(dialog, IDC_URL));
    if (TakeUrlFromClipboard(dialog)) SetFocus(GetDlgItem(dialog, IDC_PATH));
    lastTarget = new (std::nothrow) WCHAR[kTargetPathCapacity]();
    if (lastTarget == nullptr) {
        ShowNoMemory(dialog, NoMemory::kDialogBuffer);
        DestroyWindow(dialog);
        return;
    }
    SetCredentialsOwner(dialog);
    gHttpClient->SetCredentialsCallback(AskForCredentials, 0);
    history = new (std::nothrow) UrlHistory;
    if (history != nullptr) {
        LoadUrlHistory(history);
        FillUrlList(GetDlgItem(dialog, IDC_URL), *history);
    }
}

int Start(HWND dialog) {
    RememberUrl(dialog);
    return RunInteractiveStartStep(dialog, &worker.thread, &worker.threadId, lastTarget);
}

int End(HWND) {
    gHttpClient->ClearCredentialsCallback();
    SetCredentialsOwner(nullptr);
    delete[] lastTarget;
    lastTarget = nullptr;
    delete history;
    history = nullptr;
    return kExitInteractive;
}

constexpr MainDialogMode kInteractive = {&worker, nullptr, Open, Start, End};

} // namespace

INT_PTR CALLBACK InteractiveDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return HandleMainDialogMessage(kInteractive, dialog, message, wParam);
}
