#include "storage/DevicePath.h"

#include <new>

#include "base/StringUtil.h"

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

bool PathFromCurrentDirectory(LPWSTR path, DWORD capacity) {
    if (IsPathSeparator(path[0]) || PathNamesDrive(path)) return true;
    WCHAR* joined = new (std::nothrow) WCHAR[capacity];
    if (joined == nullptr) return false;
    // A directory too long for the buffer gives back the size it needs, never a cut text.
    const DWORD length = GetCurrentDirectoryW(capacity, joined);
    bool done = length > 0 && length < capacity;
    if (done && !PathEndsWithSeparator(joined)) done = StrAppend(joined, capacity, TEXT("\\")) == 1;
    if (done) done = StrAppend(joined, capacity, path) == 1;
    if (done) StrCopy(path, capacity, joined);
    delete[] joined;
    return done;
}
