#include "ui/About.h"

#include "core/AppState.h"
#include "core/Language.h"
#include "resources/about.h"
#include "resources/resource.h"
#include "ui/DialogTemplate.h"

namespace {

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        CentreOnOwner(dialog, HWND_TOPMOST, 0);
        SetDlgItemTextW(dialog, IDC_ABOUT_ADDRESS,
                        ByLanguage(kAboutPageJapanese, kAboutPageEnglish));
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, 0);
        return 0;
    default:
        return 0;
    }
}

} // namespace

void ShowAboutBox(HWND owner) {
    RunDialogTemplate(gInstance, IDD_ABOUT, owner, AboutProc, 0);
}
