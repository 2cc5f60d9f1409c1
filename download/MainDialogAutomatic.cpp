// The main dialog in automatic mode: the download starts as the dialog opens, the window
// may be hidden, and the exit code tells the caller how the download ended. An interrupt,
// hang-up or termination request closes the dialog as its close box does.
#include <atomic>

#include "base/StringUtil.h"
#include "core/AppState.h"
#include "download/MainDialog.h"
#include "download/MainDialogProcs.h"
#include "download/StartStep.h"
#include "download/TransferState.h"
#include "http/HttpUrl.h"
#include "resources/resource.h"
#include "storage/DevicePath.h"

namespace {

Worker worker;
AutomaticOutcome outcome;
// The dialog a console event closes; read on the handler's own thread.
std::atomic<HWND> signalTarget{nullptr};

// The transfer stops, the part stays whole, the exit code is that of an early close.
BOOL WINAPI CloseOnConsoleEvent(DWORD) {
    const HWND dialog = signalTarget.load();
    if (dialog == nullptr) return FALSE;
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

void Open(HWND dialog) {
    outcome = AutomaticOutcome{};
    // Before the window shows: the events are then ours, not the terminal's.
    static const BOOL handled = SetConsoleCtrlHandler(CloseOnConsoleEvent, TRUE);
    (void)handled;
    signalTarget.store(dialog);
    ShowWindow(dialog, gShowWindow ? SW_SHOW : SW_HIDE);
    SetWindowTextW(dialog, gCaption.GetWide());
    PrepareMainDialog(dialog);
    WCHAR shown[kUrlCapacity];
    if (HttpUrlWithoutCredentials(gUrl.GetWide(), shown, kUrlCapacity) != 1) shown[0] = 0;
    SetDlgItemTextW(dialog, IDC_URL, shown);
    // The path in the device's form, as the interactive dialog shows it ("\\" separators).
    WCHAR path[kTargetPathCapacity];
    if (StrCopy(path, kTargetPathCapacity, gPath.GetWide()) == 1) {
        PathUseDeviceSeparators(path);
        SetDlgItemTextW(dialog, IDC_PATH, path);
    } else {
        SetDlgItemTextW(dialog, IDC_PATH, gPath.GetWide());
    }
    PostMessageW(dialog, WM_COMMAND, IDC_START, 0);
}

int Start(HWND dialog) {
    return RunAutomaticStartStep(dialog, &worker.thread, &worker.threadId, &outcome);
}

int End(HWND) {
    signalTarget.store(nullptr);
    return outcome.exitCode;
}

constexpr MainDialogMode kAutomatic = {&worker, &outcome, Open, Start, End};

} // namespace

INT_PTR CALLBACK AutomaticDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return HandleMainDialogMessage(kAutomatic, dialog, message, wParam);
}
