// The entry function of Quillbrook, and the start-up steps it is made of.
#pragma once

#include <windows.h>

#include "core/ExitCodes.h"

class PropertyList;

// Runs the program: records its path, creates the shared objects, reads the command line
// (UTF-16, without the program name) and the settings, shows the main dialog of the chosen
// mode and runs the message loop until the dialog ends the program. Returns the exit code:
// the dialog's, or kExitStartupFailed / kExitCommandLineRejected (before any window).
int QuillbrookMain(HINSTANCE instance, LPCWSTR commandLine);

// Puts the three default request headers into headers.
void FillDefaultHeaders(PropertyList* headers);

// The wiring QuillbrookMain runs around the main dialog, in this order; the main dialog's
// tests run the same steps around dialogs of their own.
// Creates the five shared objects in their order and loads the small icon. false when an
// object is missing; DestroySharedObjects then still cleans up.
bool CreateSharedObjects(HINSTANCE instance);
// After the command line is parsed: the run parameters into the state (automatic mode runs
// hidden where no window can be seen), the default headers, the proxy and transfer settings.
// false when a run parameter's value is refused (the command line is rejected).
bool ApplySettings();
// Destroys the shared objects in the order of their creation, and the icon.
void DestroySharedObjects();
