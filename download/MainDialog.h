// What the two main dialog procedures share: opening, the worker's end, the progress
// display, browse and the pop-up menu. Everything here runs on the main thread.
#pragma once

#include <windows.h>

// The receive thread of the current download, owned by the dialog.
struct Worker {
    HANDLE thread = nullptr;
    DWORD threadId = 0;
    bool paused = false;
};

// Topmost, the maximize-box style bit, the small icon and the progress bar range 0..100.
void PrepareMainDialog(HWND dialog);

// Pause or Resume (1006).
void TogglePause(HWND dialog, Worker* worker);

// The common part of Stop: ends the worker (waiting up to 3000 ms, then until it ends),
// closes the file and the connection. ResetAfterStop then sets the buttons and fields.
void EndWorkerForStop(Worker* worker);
void ResetAfterStop(HWND dialog, Worker* worker);

// The common part of finished: ends the worker (1000 ms, then until it ends) and closes the
// file and the connection.
void EndWorkerForFinish(Worker* worker);
// Total unknown, nothing received, not paused, no download under way.
void ForgetTransfer(Worker* worker);

// The completion notice.
void ShowCompletionNotice(HWND dialog);
// The network-error or storage-error message.
void ShowReceiveError(HWND dialog, UINT message);
// "Not enough memory." for a start step without work buffers.
void ShowStartNoMemory(HWND dialog);

// Browse (1004), the pop-up menu (1023), Proxy (40004) and About (40002).
void BrowseForFolder(HWND dialog);
void ShowPopupMenu(HWND dialog);
void ShowProxy(HWND dialog);
void ShowAbout(HWND dialog);
// The menu button and the menu's commands, the same in both modes; false for other ids.
bool HandleMenuCommand(HWND dialog, WORD id);
