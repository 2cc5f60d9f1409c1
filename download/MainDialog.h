// The main dialog of both modes: one message handler for everything the modes share, and the
// mode's own part (MainDialogMode) for what really differs: how the dialog opens, which start
// step runs, and what its end leaves behind. Everything here runs on the main thread.
#pragma once

#include <windows.h>

#include "download/Failure.h"

// The receive thread of the current download, owned by the dialog.
struct Worker {
    HANDLE thread = nullptr;
    DWORD threadId = 0;
    bool paused = false;
};

// Which of Start, Pause and Stop are enabled.
enum class ButtonState {
    kIdle,      // Start only
    kReceiving, // Pause and Stop
    kDone,      // none: the automatic dialog after its one download
};
void SetButtons(HWND dialog, ButtonState state);

// What one mode does where the modes differ.
struct MainDialogMode {
    Worker* worker;
    AutomaticOutcome* outcome; // the automatic dialog's; null in interactive mode
    void (*open)(HWND dialog); // WM_INITDIALOG, after the transfer state is reset
    int (*start)(HWND dialog); // runs the start step: negative without work buffers
    int (*end)(HWND dialog);   // WM_DESTROY, after the worker: the exit code
};

// Topmost, the maximize-box style bit, the small icon, the progress bar range 0..100 and the
// timer that redraws the progress every kProgressRefreshMs.
void PrepareMainDialog(HWND dialog);

// The dialog procedure of either mode, given the mode's part.
INT_PTR HandleMainDialogMessage(const MainDialogMode& mode, HWND dialog, UINT message,
                                WPARAM wParam);
