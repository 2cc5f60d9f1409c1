#pragma once

#include <windows.h>

// Shows the proxy settings modally; OK stores them in the registry and the run-time settings.
// Returns 1 after OK, 0 after cancel.
INT_PTR ShowProxyDialog(HINSTANCE instance, HWND parent);
