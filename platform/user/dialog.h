// The dialog manager: dialogs built from template bytes, the default dialog procedure, the
// modal loop and the dialog item functions.
#pragma once

#include "platform/user/dialog_template.h"
#include "platform/user/window.h"
#include "qb/observer.h"

namespace qb::user {

// Creates the dialog and its controls and sends WM_INITDIALOG; null on failure.
Window* CreateDialogFromTemplate(HINSTANCE instance, const DialogTemplate& dialogTemplate,
                                 HWND owner, DLGPROC proc, LPARAM param, bool modal);
// Runs a modal loop until the dialog ends (or WM_QUIT arrives, which is posted again);
// shows the dialog first. The owner is disabled meanwhile.
INT_PTR RunModal(Window* dialog, Window* owner);
// The next message of a modal loop; false when the loop ends (WM_QUIT, which is posted again
// for the outer loop, or an error).
bool NextModalMessage(MSG* msg);
// A whole modal dialog: owner disabled, created, shown, answered or driven as the observer
// decided, its loop run, owner enabled, destroyed. -1 when it can't be created or is refused.
INT_PTR RunModalTemplate(HINSTANCE instance, const DialogTemplate& dialogTemplate, HWND parent,
                         DLGPROC proc, LPARAM param, const ModalDecision& decision,
                         INT_PTR abandonResult, bool* abandoned);
// The default button id of the dialog (DM_GETDEFID), 0 if none.
UINT DefaultButtonId(Window* dialog);
// Next or previous control in the dialog's tab order (WS_TABSTOP, visible, enabled).
Window* NextTabItem(Window* dialog, Window* from, bool previous);
// Next or previous control of the same group (WS_GROUP starts a group) that is visible,
// enabled and shows the focus (no label, icon, group box or progress bar).
Window* NextGroupItem(Window* dialog, Window* from, bool previous);

} // namespace qb::user
