#include "storage/DevicePath.h"

bool IsPathSeparator(WCHAR unit) {
    return unit == kPathSeparator || unit == kAlternatePathSeparator;
}

void PathUseDeviceSeparators(LPWSTR path) {
    for (WCHAR* unit = path; *unit != 0; ++unit) {
        if (*unit == kAlternatePathSeparator) *unit = kPathSeparator;
    }
}

bool PathEndsWithSeparator(LPCWSTR path) {
    const LPCWSTR name = PathLastComponent(path);
    return name != path && *name == 0;
}

LPCWSTR PathLastComponent(LPCWSTR path) {
    LPCWSTR name = path;
    for (LPCWSTR unit = path; *unit != 0; ++unit) {
        if (IsPathSeparator(*unit)) name = unit + 1;
    }
    return name;
}

bool PathNamesDrive(LPCWSTR path) {
    const WCHAR letter = path[0];
    const bool isLetter = (letter >= TEXT('A') && letter <= TEXT('Z')) ||
                          (letter >= TEXT('a') && letter <= TEXT('z'));
    return isLetter && path[1] == TEXT(':');
}
