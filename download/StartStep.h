// The start step of a download, run on the main thread when Start arrives: settles the
// target from the dialog's fields and the server's answer, opens the request and the file,
// decides between continuing and overwriting an existing file, and starts the receive
// thread. Failures are reported here, once; the dialog is told to stop by a posted Stop.
#pragma once

#include <windows.h>

#include "download/Failure.h"

// Automatic variant. -1 when the work buffers can't be had (nothing else done); otherwise 1
// (the caller only tests for negative).
int RunAutomaticStartStep(HWND dialog, HANDLE* thread, DWORD* threadId, AutomaticOutcome* outcome);

// Interactive variant, with the same result; lastTarget (kTargetPathCapacity units, may be
// null) receives the target path.
int RunInteractiveStartStep(HWND dialog, HANDLE* thread, DWORD* threadId, LPWSTR lastTarget);
