// What the text of a device path says, without asking the device: "\" and "/" both separate
// folders, and the last component is the text after the last of them.
#pragma once

#include <windows.h>

constexpr WCHAR kPathSeparator = TEXT('\\');
constexpr WCHAR kAlternatePathSeparator = TEXT('/');

bool IsPathSeparator(WCHAR unit);
// True when path is not empty and ends with a separator.
bool PathEndsWithSeparator(LPCWSTR path);
// The text after the last separator (empty when path ends with one), or the whole path.
LPCWSTR PathLastComponent(LPCWSTR path);
