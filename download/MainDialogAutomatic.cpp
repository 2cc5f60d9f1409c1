// The main dialog in automatic mode: the download starts as the dialog opens, the window
// may be hidden, and the exit code tells the caller how the download ended.
#include "app/AppState.h"
#include "download/MainDialog.h"
#include "download/MainDialogProcs.h"
#include "download/StartStep.h"
#include "resources/resource.h"

namespace {

Worker worker;
AutomaticOutcome outcome;

void Open(HWND dialog) {
    outcome = AutomaticOutcome{};
    ShowWindow(dialog, gShowWindow ? SW_SHOW : SW_HIDE);
    SetWindowTextW(dialog, gCaption.GetWide());
    PrepareMainDialog(dialog);
    SetDlgItemTextW(dialog, IDC_URL, gUrl.GetWide());
    SetDlgItemTextW(dialog, IDC_PATH, gPath.GetWide());
    PostMessageW(dialog, WM_COMMAND, IDC_START, 0);
}

int Start(HWND dialog) {
    return RunAutomaticStartStep(dialog, &worker.thread, &worker.threadId, &outcome);
}

int End(HWND) {
    return outcome.exitCode;
}

constexpr MainDialogMode kAutomatic = {&worker, &outcome, Open, Start, End};

} // namespace

INT_PTR CALLBACK AutomaticDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return HandleMainDialogMessage(kAutomatic, dialog, message, wParam);
}
