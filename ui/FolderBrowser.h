#pragma once

#include <windows.h>

// Shows the folder tree modally with the folder in `buffer` selected. Returns -1 when buffer is
// null (nothing shown), 1 after OK (buffer holds the chosen path), 0 after cancel (buffer
// unchanged).
int OpenFolderBrowser(HINSTANCE instance, HWND parent, WCHAR* buffer, DWORD capacity);
