// Stand-ins for the main dialog's procedures, used until download/MainDialog.cpp provides
// them: they open the main dialog in either mode and end the program with the exit code of
// a dialog that downloads nothing. Automatic mode with the window hidden ends at once.
#include "app/AppState.h"
#include "app/ExitCodes.h"
#include "app/MainDialogProcs.h"
#include "resources/resource.h"

namespace {

int automaticExitCode = kExitDownloaded;

} // namespace

INT_PTR CALLBACK AutomaticDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        automaticExitCode = kExitDownloaded;
        ShowWindow(dialog, gShowWindow ? SW_SHOW : SW_HIDE);
        SetWindowTextW(dialog, gCaption.GetWide());
        PostMessageW(dialog, WM_COMMAND, IDC_START, 0);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_START && !gShowWindow) DestroyWindow(dialog);
        if (LOWORD(wParam) == IDCANCEL) {
            automaticExitCode = kExitWindowClosedEarly;
            DestroyWindow(dialog);
        }
        return 0;
    case WM_DESTROY:
        PostQuitMessage(automaticExitCode);
        return 0;
    default:
        return 0;
    }
}

INT_PTR CALLBACK InteractiveDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        ShowWindow(dialog, SW_SHOW);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) DestroyWindow(dialog);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(kExitInteractive);
        return 0;
    default:
        return 0;
    }
}
