// The About box.
#pragma once

#include <windows.h>

// Runs template 107 modally, owned by owner, centred on it and topmost.
void ShowAboutBox(HWND owner);
