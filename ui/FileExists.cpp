#include "ui/FileExists.h"

#include "core/AppState.h"
#include "core/Language.h"
#include "resources/resource.h"
#include "ui/DialogTemplate.h"

namespace {

INT_PTR CALLBACK FileExistsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        MessageBeep(MB_ICONQUESTION);
        SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        return 0;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_RESUME:
            EndDialog(dialog, kFileExistsResume);
            break;
        case IDC_OVERWRITE:
            EndDialog(dialog, kFileExistsOverwrite);
            break;
        case IDCANCEL:
            EndDialog(dialog, kFileExistsCancel);
            break;
        default:
            break;
        }
        return 0;
    default:
        return 0;
    }
}

} // namespace

int AskFileExists() {
    const INT_PTR answer =
        RunDialogTemplate(gInstance, ByLanguage(IDD_FILE_EXISTS_JA, IDD_FILE_EXISTS_EN), nullptr,
                          FileExistsProc, reinterpret_cast<LPARAM>(gInstance));
    if (answer == kFileExistsOverwrite || answer == kFileExistsResume) {
        return static_cast<int>(answer);
    }
    return kFileExistsCancel;
}
