// Running a modal dialog from one of the program's dialog templates.
#pragma once

#include <windows.h>

// Finds template id among the resources of instance and runs it modally with procedure and
// parameter. The dialog's result, or -1 when the template is missing or the dialog can't be
// created.
INT_PTR RunDialogTemplate(HINSTANCE instance, int id, HWND owner, DLGPROC procedure,
                          LPARAM parameter);

// Moves dialog to the centre of its owner's window rectangle; insertAfter and the extra
// flags go to the same SetWindowPos call.
void CentreOnOwner(HWND dialog, HWND insertAfter, UINT flags);
