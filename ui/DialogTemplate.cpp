#include "ui/DialogTemplate.h"

INT_PTR RunDialogTemplate(HINSTANCE instance, int id, HWND owner, DLGPROC procedure,
                          LPARAM parameter) {
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(id), RT_DIALOG);
    if (found == nullptr) return -1;
    HGLOBAL loaded = LoadResource(instance, found);
    if (loaded == nullptr) return -1;
    const auto* dialogTemplate = static_cast<LPCDLGTEMPLATEW>(LockResource(loaded));
    if (dialogTemplate == nullptr) return -1;
    return DialogBoxIndirectParamW(instance, dialogTemplate, owner, procedure, parameter);
}

void CentreOnOwner(HWND dialog, HWND insertAfter, UINT flags) {
    RECT ownerRect{};
    RECT dialogRect{};
    HWND owner = GetParent(dialog);
    if (owner == nullptr || !GetWindowRect(owner, &ownerRect) ||
        !GetWindowRect(dialog, &dialogRect)) {
        return;
    }
    const int x = ownerRect.left +
                  ((ownerRect.right - ownerRect.left) - (dialogRect.right - dialogRect.left)) / 2;
    const int y = ownerRect.top +
                  ((ownerRect.bottom - ownerRect.top) - (dialogRect.bottom - dialogRect.top)) / 2;
    SetWindowPos(dialog, insertAfter, x, y, 0, 0, SWP_NOSIZE | flags);
}
