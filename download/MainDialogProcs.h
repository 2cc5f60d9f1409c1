// The main dialog's two procedures, one per mode; start-up (app/) creates the main dialog with
// one of them. The dialog ends the program by destroying itself: its WM_DESTROY posts the quit
// message whose parameter is the exit code.
#pragma once

#include <windows.h>

// Automatic mode: run parameters were given.
INT_PTR CALLBACK AutomaticDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Interactive mode: the user fills in the fields and presses Start.
INT_PTR CALLBACK InteractiveDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
