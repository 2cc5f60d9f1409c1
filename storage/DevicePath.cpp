#include "storage/DevicePath.h"

bool IsPathSeparator(WCHAR unit) {
    return unit == kPathSeparator || unit == kAlternatePathSeparator;
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
