// InitCommonControlsEx: the progress bar and tree view classes are built in, so the call
// only checks its record.
#include <commctrl.h>

BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* init) {
    if (init == nullptr || init->dwSize != sizeof(INITCOMMONCONTROLSEX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

void WINAPI InitCommonControls(void) {}
