// The Windows entry: the system passes the command line without the program name, which is
// what the entry function expects, and the windows are shown on the desktop.
#include <windows.h>

#include "app/Startup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int) {
    return QuillbrookMain(instance, commandLine);
}
