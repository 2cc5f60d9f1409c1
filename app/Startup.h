// The entry function of Quillbrook, and the start-up steps it is made of.
#pragma once

#include <windows.h>

#include "app/ExitCodes.h"

class PropertyList;

// Runs the program: records its path, creates the shared objects, reads the command line
// (UTF-16, without the program name) and the settings, shows the main dialog of the chosen
// mode and runs the message loop until the dialog ends the program. Returns the exit code:
// the dialog's, or kExitStartupFailed / kExitCommandLineRejected (before any window).
int QuillbrookMain(HINSTANCE instance, LPCWSTR commandLine);

// Puts the three default request headers into headers.
void FillDefaultHeaders(PropertyList* headers);
