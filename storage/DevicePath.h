// What the text of a device path says, without asking the device: "\" and "/" both separate
// folders, and the last component is the text after the last of them.
#pragma once

#include <windows.h>

constexpr WCHAR kPathSeparator = TEXT('\\');
constexpr WCHAR kAlternatePathSeparator = TEXT('/');

bool IsPathSeparator(WCHAR unit);
// Turns every "/" of path into "\\", so that each later use names the file the same way
// (desktop Windows under Wine takes a path that begins with "/" as a host path).
void PathUseDeviceSeparators(LPWSTR path);
// True when path is not empty and ends with a separator.
bool PathEndsWithSeparator(LPCWSTR path);
// The text after the last separator (empty when path ends with one), or the whole path.
LPCWSTR PathLastComponent(LPCWSTR path);
// True when path begins with a drive ("C:"): the device has none, a desktop system's path
// then stands alone and is not joined to the base folder.
bool PathNamesDrive(LPCWSTR path);
// A path that neither begins with a separator nor names a drive is taken from the current
// directory (GetCurrentDirectoryW; the empty path is that directory itself, with a trailing
// separator). false when the current directory is unknown or the result does not fit
// capacity units; path is then unchanged.
bool PathFromCurrentDirectory(LPWSTR path, DWORD capacity);
